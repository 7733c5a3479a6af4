# Two panels against the selection ratio of the study's basis: the
# adverse-impact ratio with both groups' selection ratios, and the mean
# quality of those selected. The curves follow the sweep rows when there are
# any, else the built-in, boundary and requested rows.
plot.fourfifths_study <- function(x, sweep = NULL, ...) {
  if (!is.null(sweep)) x <- analysis(x$problem, x$names, sweep)
  rows <- x$rows
  on_sweep <- any(rows$kind == "sweep")
  rows <- rows[rows$status == "ok" & (rows$kind == "sweep") == on_sweep, , drop = FALSE]
  rows <- rows[order(rows$sr), , drop = FALSE]
  overall <- x$problem$basis == "overall"
  ratio_label <- if (overall) "overall selection ratio (SR)" else "majority selection ratio (SRA)"
  boundary <- x$boundary[["sr"]]

  old <- par(mfrow = c(1, 2), mar = c(4.5, 4.5, 2.5, 1))
  on.exit(par(old))

  matplot(rows$sr, rows[c("ai", "sra", "sri")], type = "l", lty = c(1, 2, 3), lwd = 2,
          col = c("black", "steelblue", "firebrick"), xlim = c(0, 1), ylim = c(0, 1.06),
          xlab = ratio_label, ylab = "ratio", main = "Adverse impact")
  abline(h = 0.8, col = "grey40", lty = 2)
  text(0, 0.8, "four-fifths rule", adj = c(0, -0.5), cex = 0.8, col = "grey30")
  if (!is.na(boundary)) {
    abline(v = boundary, col = "grey40", lty = 3)
    points(boundary, 0.8, pch = 19)
    text(boundary, 1.04, sprintf("boundary %.3f", boundary), adj = c(1.05, 0.5), cex = 0.8)
  }
  legend("topleft", legend = c("AI", "SRA", "SRI"), lty = c(1, 2, 3), lwd = 2,
         col = c("black", "steelblue", "firebrick"), bty = "n", inset = c(0, 0.05))

  quality <- if (overall) c("m", "ma", "mi") else c("ma", "mi")
  colours <- if (overall) c("black", "steelblue", "firebrick") else c("steelblue", "firebrick")
  kinds <- if (overall) c(1, 2, 3) else c(2, 3)
  values <- unlist(rows[quality])
  matplot(rows$sr, rows[quality], type = "l", lty = kinds, lwd = 2, col = colours,
          xlim = c(0, 1), ylim = range(values[is.finite(values)], 0),
          xlab = ratio_label,
          ylab = sprintf("mean quality on the %s composite", x$problem$quality),
          main = "Quality of those selected")
  if (!is.na(boundary)) abline(v = boundary, col = "grey40", lty = 3)
  legend("topright", legend = toupper(quality), lty = kinds, lwd = 2, col = colours, bty = "n")
  invisible(x)
}

# The figures of a study and of a front, drawn for print: sized from the
# device (panels side by side on a wide figure, stacked on a narrow one, text
# at 8 to 10 points), legends below the panels and reference labels in the
# margins so that neither ever lies on the data, the colour-blind-safe
# Okabe-Ito colours with line types that survive greyscale, and axes that
# cover the data and the references (the four-fifths rule, parity).

# Okabe & Ito (2008): black, blue, vermillion, bluish green, orange, reddish
# purple, sky blue, yellow.
palette_ff <- c("#000000", "#0072B2", "#D55E00", "#009E73", "#E69F00", "#CC79A7", "#56B4E9",
                "#F0E442")
line_types <- c("solid", "22", "12", "42", "4212", "1343", "73", "2282")

# The layout and text size for panels on the current device; returns the
# old settings for par().
figure_layout <- function(panels) {
  inches <- grDevices::dev.size("in")
  narrow <- inches[1] < 5
  rows <- if (narrow) panels else 1
  old <- par(mfrow = c(rows, panels %/% rows), cex = if (narrow) 0.7 else 0.85,
             mar = c(6.6, 3.6, 3, 3.6), mgp = c(2.2, 0.6, 0), tcl = -0.3, las = 1)
  old
}

# The bottom margin for a panel whose legend (below the x axis title) shows
# these labels in as many columns as fit the panel's width; returns the
# number of columns.
legend_margin <- function(labels) {
  char <- par("cin")[1] * par("cex")
  entry <- max(strwidth(labels, units = "inches")) + 4 * char
  columns <- max(1, min(length(labels), floor(0.96 * par("fin")[1] / entry)))
  rows <- ceiling(length(labels) / columns)
  par(mar = c(4.4 + 1.25 * rows, par("mar")[2:4]))
  columns
}

legend_below <- function(labels, across, ...) {
  usr <- par("usr")
  line <- abs(diff(grconvertY(c(0, par("csi")), "inches", "user")))
  legend(grconvertX(0.5, "nfc", "user"), usr[3] - 3.3 * line, legend = labels, xjust = 0.5,
         yjust = 1, xpd = NA, bty = "n", ncol = across, seg.len = 2.5, x.intersp = 0.6, ...)
}

# Labels of reference lines in the margin beside (side 4) or above (side 3)
# the plot region, moved apart when they would touch.
margin_label <- function(side, at, labels) {
  inches <- if (side == 4) grconvertY(at, "user", "inches") else grconvertX(at, "user", "inches")
  sizes <- if (side == 4) rep(par("csi") * par("cex") * 1.1, length(at))
           else strwidth(labels, units = "inches", cex = 0.9) + 0.05
  if (length(at) == 2) {
    gap <- abs(diff(inches))
    need <- mean(sizes)
    if (gap < need) {
      direction <- sign(diff(inches))
      if (direction == 0) direction <- 1
      middle <- mean(inches)
      inches <- middle + c(-1, 1) * direction * need / 2
      at <- if (side == 4) grconvertY(inches, "inches", "user") else grconvertX(inches, "inches", "user")
    }
  }
  mtext(labels, side = side, at = at, line = 0.25, las = 1, cex = par("cex") * 0.9,
        col = "grey25", adj = if (side == 4) 0 else 0.5, padj = if (side == 4) 0.5 else 0)
}

panel_title <- function(text) mtext(text, side = 3, line = 1.5, adj = 0, font = 2, cex = par("cex"))

plot.fourfifths_study <- function(x, sweep = NULL, ...) {
  if (!is.null(sweep)) x <- analysis(x$problem, x$names, sweep)
  data <- study_curves(x)
  rows <- data$rows
  old <- figure_layout(2)
  on.exit(par(old))

  # Adverse impact, with the group selection ratios.
  series <- c(ai = "AI", sra = "SRA (majority)", sri = "SRI (minority)")
  values <- unlist(rows[names(series)])
  ylim <- c(0, max(1.05, values[is.finite(values)]))
  boundary <- x$boundary[["sr"]]
  requested <- x$rows[x$rows$kind == "requested" & x$rows$status == "ok", , drop = FALSE]
  marks <- c(series, if (nrow(requested)) c(requested = "requested SR"),
             if (!is.na(boundary)) c(boundary = "four-fifths boundary"))
  columns <- legend_margin(marks)
  plot(NA, xlim = c(0, 1), ylim = ylim, xaxs = "i", xlab = data$ratio_label, ylab = "ratio")
  abline(h = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(4, c(0.8, 1), c("4/5", "parity"))
  for (i in seq_along(series))
    lines(rows$sr, rows[[names(series)[i]]], col = palette_ff[i], lty = line_types[i], lwd = 2)
  if (nrow(requested)) points(requested$sr, requested$ai, pch = 21, bg = "white", cex = 1.1)
  if (!is.na(boundary)) {
    abline(v = boundary, col = "grey45", lty = "13")
    points(boundary, 0.8, pch = 19)
    margin_label(3, boundary, sprintf("%.3f", boundary))
  }
  panel_title("Adverse impact")
  kind <- names(marks)
  legend_below(marks, columns, col = ifelse(kind %in% names(series), palette_ff[match(kind, names(series))], "black"),
               lty = ifelse(kind %in% names(series), line_types[match(kind, names(series))], NA), lwd = 2,
               pch = ifelse(kind == "requested", 21, ifelse(kind == "boundary", 19, NA)), pt.bg = "white")

  # Mean quality of those selected.
  quality <- if (data$overall) c(m = "M (all)", ma = "MA (majority)", mi = "MI (minority)")
             else c(ma = "MA (majority)", mi = "MI (minority)")
  styles <- if (data$overall) 1:3 else 2:3
  values <- unlist(rows[names(quality)])
  columns <- legend_margin(quality)
  plot(NA, xlim = c(0, 1), ylim = range(values[is.finite(values)], 0), xaxs = "i",
       xlab = data$ratio_label, ylab = sprintf("mean %s score (SD units)", x$problem$quality))
  abline(h = 0, col = "grey70")
  for (i in seq_along(quality))
    lines(rows$sr, rows[[names(quality)[i]]], col = palette_ff[styles[i]],
          lty = line_types[styles[i]], lwd = 2)
  if (!is.na(boundary)) {
    abline(v = boundary, col = "grey45", lty = "13")
    margin_label(3, boundary, sprintf("%.3f", boundary))
  }
  panel_title("Quality of those selected")
  legend_below(quality, columns, col = palette_ff[styles], lty = line_types[styles], lwd = 2)
  invisible(x)
}

# The rows a study's curves follow (the sweep rows when there are any, else
# the built-in, boundary and requested rows), in order of the ratio.
study_curves <- function(x) {
  rows <- x$rows
  on_sweep <- any(rows$kind == "sweep")
  rows <- rows[rows$status == "ok" & (rows$kind == "sweep") == on_sweep, , drop = FALSE]
  rows <- rows[order(rows$sr), , drop = FALSE]
  overall <- x$problem$basis == "overall"
  list(rows = rows, overall = overall,
       ratio_label = if (overall) "overall selection ratio (SR)" else "majority selection ratio (SRA)")
}

plot.fourfifths_pareto <- function(x, ...) {
  front <- as.data.frame(unclass(x), check.names = FALSE)
  ai_label <- sprintf("adverse-impact ratio at %s SR %s", attr(x, "basis"), format(attr(x, "sr")))
  # A front fitted in a sample: the same weightings on new applicants, dashed.
  shrunk <- !is.null(front$shrunk_ai)
  xlim <- range(front$ai, 0.8, 1, if (shrunk) front$shrunk_ai)
  at <- which(front$kind == "four_fifths")
  old <- figure_layout(2)
  on.exit(par(old))

  ylim <- range(front$validity, 0, if (shrunk) front$shrunk_validity)
  expected <- if (shrunk) sprintf("expected on new applicants (N = %d)", as.integer(attr(x, "sample_size")))
  marks <- c("front", expected,
             if (length(at)) sprintf("four-fifths point (validity %.3f)", front$validity[at]))
  columns <- legend_margin(marks)
  plot(NA, xlim = xlim, ylim = ylim, xlab = ai_label, ylab = "validity (r with the criterion)")
  abline(v = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(3, c(0.8, 1), c("4/5", "parity"))
  if (shrunk) {
    lines(front$shrunk_ai, front$shrunk_validity, lwd = 2, col = "grey40", lty = "22")
    points(front$shrunk_ai, front$shrunk_validity, pch = 15, cex = 0.6, col = "grey40")
  }
  lines(front$ai, front$validity, lwd = 2, col = palette_ff[1])
  points(front$ai, front$validity, pch = 20, cex = 0.8)
  if (length(at)) points(front$ai[at], front$validity[at], pch = 23, bg = palette_ff[3], cex = 1.6)
  panel_title("Validity-adverse-impact front")
  style <- data.frame(col = c(palette_ff[1], "grey40", "black"), lty = c("solid", "22", NA),
                      pch = c(20, 15, 23), bg = c(NA, NA, palette_ff[3]), cex = c(0.8, 0.6, 1.4),
                      stringsAsFactors = FALSE)[c(TRUE, shrunk, length(at) > 0), ]
  legend_below(marks, columns, col = style$col, lty = style$lty, lwd = 2, pch = style$pch,
               pt.bg = style$bg, pt.cex = style$cex)

  predictors <- weight_columns(front)
  weights <- as.matrix(front[predictors])
  k <- seq_along(predictors)
  colours <- rep_len(palette_ff, length(k))
  types <- rep_len(line_types, length(k))
  columns <- legend_margin(predictors)
  plot(NA, xlim = xlim, ylim = range(weights, 0), xlab = ai_label,
       ylab = "weight (absolute values sum to 1)")
  abline(h = 0, col = "grey60")
  abline(v = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(3, c(0.8, 1), c("4/5", "parity"))
  for (i in k) lines(front$ai, weights[, i], col = colours[i], lty = types[i], lwd = 2)
  panel_title("Predictor weights")
  legend_below(predictors, columns, col = colours, lty = types, lwd = 2)
  invisible(x)
}

# The lines of a study of several groups (the sweep's when there are any,
# else the built-in, boundary and requested rows), in order of the ratio, and
# a colour and line type per group: the reference group black and solid.
group_curves <- function(x) {
  rows <- x$rows
  on_sweep <- any(rows$kind == "sweep")
  rows <- rows[rows$status == "ok" & (rows$kind == "sweep") == on_sweep, , drop = FALSE]
  rows <- rows[order(rows$group, rows$sr), , drop = FALSE]
  groups <- levels(rows$group)
  shown <- groups[groups %in% rows$group]
  at <- match(shown, groups)
  overall <- x$problem$basis == "overall"
  list(rows = rows, groups = shown, colours = rep_len(palette_ff, length(groups))[at],
       types = rep_len(line_types, length(groups))[at], overall = overall,
       ratio_label = if (overall) "overall selection ratio (SR)"
                     else "reference group's selection ratio")
}

plot.fourfifths_group_study <- function(x, sweep = NULL, ...) {
  if (!is.null(sweep)) x <- group_analysis(x$problem, sweep)
  data <- group_curves(x)
  rows <- data$rows
  old <- figure_layout(2)
  on.exit(par(old))
  boundary <- if (x$pool_boundary$state == "found") x$pool_boundary$sr else NA
  found <- x$boundaries[x$boundaries$state == "found" & x$boundaries$group %in% data$groups, ]

  # Each group's impact ratio against the highest selection ratio of its pool.
  marks <- c(data$groups, if (!is.na(boundary)) "pool boundary")
  columns <- legend_margin(marks)
  first_margin <- par("mar")
  values <- rows$ai_highest
  plot(NA, xlim = c(0, 1), ylim = c(0, max(1.05, values[is.finite(values)])), xaxs = "i",
       xlab = data$ratio_label, ylab = "adverse-impact ratio (AI)")
  abline(h = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(4, c(0.8, 1), c("4/5", "parity"))
  for (i in seq_along(data$groups)) {
    line <- rows[rows$group == data$groups[i], ]
    lines(line$sr, line$ai_highest, col = data$colours[i], lty = data$types[i], lwd = 2)
  }
  if (nrow(found))
    points(found$sr, rep(0.8, nrow(found)), pch = 21, cex = 1.1,
           bg = data$colours[match(found$group, data$groups)])
  if (!is.na(boundary)) {
    abline(v = boundary, col = "grey45", lty = "13")
    margin_label(3, boundary, sprintf("%.3f", boundary))
  }
  panel_title("AI against the highest group")
  legend_below(marks, columns, col = c(data$colours, "grey45")[seq_along(marks)],
               lty = c(data$types, "13")[seq_along(marks)], lwd = 2)

  # Mean quality of each group's selected.
  values <- rows$quality
  columns <- legend_margin(data$groups)
  # Side by side, both panels keep the same height.
  if (par("mfrow")[2] > 1) par(mar = pmax(par("mar"), first_margin))
  plot(NA, xlim = c(0, 1), ylim = range(values[is.finite(values)], 0), xaxs = "i",
       xlab = data$ratio_label, ylab = sprintf("mean %s score (SD units)", x$problem$quality))
  abline(h = 0, col = "grey70")
  for (i in seq_along(data$groups)) {
    line <- rows[rows$group == data$groups[i], ]
    lines(line$sr, line$quality, col = data$colours[i], lty = data$types[i], lwd = 2)
  }
  if (!is.na(boundary)) {
    abline(v = boundary, col = "grey45", lty = "13")
    margin_label(3, boundary, sprintf("%.3f", boundary))
  }
  panel_title("Quality of each group's selected")
  legend_below(data$groups, columns, col = data$colours, lty = data$types, lwd = 2)
  invisible(x)
}

# The curves of a front of several groups: per point its smallest AI and
# validity, and per further group its AI at each point.
group_front_curves <- function(x) {
  front <- as.data.frame(unclass(x), check.names = FALSE)
  # A repeated end (the target point beside itself) is one weighting.
  points <- front[!front$reference, , drop = FALSE]
  points <- points[order(points$point), , drop = FALSE]
  ends <- front[front$reference, c("point", "kind", "min_ai", "validity"), drop = FALSE]
  further <- levels(front$group)[-1]
  list(front = front, ends = ends, points = points, groups = further,
       colours = rep_len(palette_ff[-1], length(further)),
       types = rep_len(line_types[-1], length(further)),
       at = ends[ends$kind == "four_fifths", , drop = FALSE],
       label = sprintf("adverse-impact ratio at %s SR %s",
                       if (attr(x, "basis") == "overall") "overall" else "reference group's",
                       format(attr(x, "sr"))))
}

plot.fourfifths_group_pareto <- function(x, ...) {
  data <- group_front_curves(x)
  target <- attr(x, "target")
  old <- figure_layout(1)
  on.exit(par(old))
  marks <- c("smallest AI", data$groups,
             if (nrow(data$at)) sprintf("target point (validity %.3f)", data$at$validity))
  columns <- legend_margin(marks)
  plot(NA, xlim = range(data$points$ai, target, na.rm = TRUE), ylim = range(data$ends$validity, 0),
       xlab = data$label, ylab = "validity (r with the criterion)")
  abline(v = target, col = "grey45", lty = "44")
  margin_label(3, target, if (target == 0.8) "4/5" else format(target))
  # The smallest AI under the groups' lines, so that the binding group's shows.
  lines(data$ends$min_ai, data$ends$validity, lwd = 3.5, col = "grey55")
  for (i in seq_along(data$groups)) {
    line <- data$points[data$points$group == data$groups[i], , drop = FALSE]
    lines(line$ai, line$validity, col = data$colours[i], lty = data$types[i], lwd = 1.5)
  }
  points(data$ends$min_ai, data$ends$validity, pch = 20, cex = 0.8)
  if (nrow(data$at)) points(data$at$min_ai, data$at$validity, pch = 23, bg = palette_ff[6], cex = 1.6)
  panel_title("Validity against each group's AI and the smallest")
  n <- length(data$groups)
  legend_below(marks, columns, col = c("grey55", data$colours, "black")[seq_along(marks)],
               lty = c("solid", data$types, NA)[seq_along(marks)], lwd = c(3.5, rep(1.5, n), NA)[seq_along(marks)],
               pch = c(20, rep(NA, n), 23)[seq_along(marks)], pt.bg = c(NA, rep(NA, n), palette_ff[6])[seq_along(marks)])
  invisible(x)
}

# The lines of a staged study: each group's share still in and its
# cumulative AI against the highest group after each stage, stage 0 being
# all applicants (everyone in, AI 1); the single stage's AI after the last.
stage_curves <- function(x) {
  rows <- x$rows[x$rows$selection == "staged", , drop = FALSE]
  groups <- levels(rows$group)
  k <- max(rows$stage)
  single <- x$rows[x$rows$selection == "single", , drop = FALSE]
  curves <- do.call(rbind, lapply(groups, function(g) {
    line <- rows[rows$group == g, , drop = FALSE]
    data.frame(group = g, stage = c(0, line$stage), still_in = c(1, line$still_in),
               ai = c(1, line$ai_cumulative_highest))
  }))
  curves$group <- factor(curves$group, groups)
  list(curves = curves, groups = groups, k = k,
       single = data.frame(group = factor(groups, groups), stage = k,
                           ai = single$ai_cumulative_highest[match(groups, single$group)]),
       colours = rep_len(palette_ff, length(groups)), types = rep_len(line_types, length(groups)),
       stage_label = sprintf("stage (%s)", paste(seq_len(k), x$stages$name, collapse = ", ")))
}

plot.fourfifths_staged_study <- function(x, ...) {
  data <- stage_curves(x)
  curves <- data$curves
  old <- figure_layout(2)
  on.exit(par(old))

  # The funnel: each group's share still in. Side by side, both panels keep
  # the bottom margin of the taller legend.
  marks <- c("staged", "one stage, same SR")
  legend_margin(marks)
  second_margin <- par("mar")
  columns <- legend_margin(data$groups)
  if (par("mfrow")[2] > 1) par(mar = pmax(par("mar"), second_margin))
  first_margin <- par("mar")
  plot(NA, xlim = c(0, data$k), ylim = c(0, 1), xaxt = "n", xlab = data$stage_label,
       ylab = "share of the group still in")
  axis(1, at = 0:data$k)
  for (i in seq_along(data$groups)) {
    line <- curves[curves$group == data$groups[i], ]
    lines(line$stage, line$still_in, col = data$colours[i], lty = data$types[i], lwd = 2)
    points(line$stage, line$still_in, col = data$colours[i], pch = 19, cex = 0.7)
  }
  panel_title("Funnel through the stages")
  legend_below(data$groups, columns, col = data$colours, lty = data$types, lwd = 2)

  # Cumulative AI after each stage, the single stage's after the last.
  columns <- legend_margin(marks)
  if (par("mfrow")[2] > 1) par(mar = pmax(par("mar"), first_margin))
  values <- c(curves$ai, data$single$ai)
  plot(NA, xlim = c(0, data$k), ylim = c(0, max(1.05, values[is.finite(values)])), xaxt = "n",
       xlab = data$stage_label, ylab = "cumulative AI (against the highest group)")
  axis(1, at = 0:data$k)
  abline(h = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(4, c(0.8, 1), c("4/5", "parity"))
  for (i in seq_along(data$groups)) {
    line <- curves[curves$group == data$groups[i], ]
    lines(line$stage, line$ai, col = data$colours[i], lty = data$types[i], lwd = 2)
    points(line$stage, line$ai, col = data$colours[i], pch = 19, cex = 0.7)
  }
  points(data$single$stage, data$single$ai, col = data$colours, pch = 21, cex = 1.4, lwd = 1.5)
  panel_title("Adverse impact after each stage")
  legend_below(marks, columns, col = "grey25", pch = c(19, 21), pt.cex = c(0.7, 1.4))
  invisible(x)
}

plot.fourfifths_observed <- function(x, ...) {
  g <- x$groups
  g <- g[!g$reference, , drop = FALSE]
  old <- figure_layout(1)
  on.exit(par(old))
  marks <- c("impact ratio", sprintf("%g%% interval (%s)", 100 * (1 - x$alpha),
                                     if (x$interval == "katz") "log" else "adjusted log"))
  columns <- legend_margin(marks)
  # Room on the left for the groups' names.
  names_width <- max(strwidth(g$group, units = "inches")) / (par("csi") * par("cex"))
  par(mar = c(par("mar")[1], names_width + 1.2, par("mar")[3:4]))
  ends <- c(g$impact_ratio, g$interval_lower, g$interval_upper)
  ends <- ends[is.finite(ends)]
  at <- rev(seq_len(nrow(g)))
  plot(NA, xlim = c(0, max(1.05, ends)), ylim = c(0.5, nrow(g) + 0.5), yaxt = "n",
       xlab = sprintf("impact ratio (selection rate over %s's)", x$reference), ylab = "")
  axis(2, at = at, labels = g$group, tick = FALSE)
  abline(v = c(0.8, 1), col = "grey45", lty = c("44", "13"))
  margin_label(3, c(0.8, 1), c("4/5", "parity"))
  shown <- is.finite(g$interval_lower) & is.finite(g$interval_upper)
  graphics::segments(g$interval_lower[shown], at[shown], g$interval_upper[shown], at[shown], lwd = 2,
                     col = palette_ff[2])
  points(g$impact_ratio, at, pch = 21, bg = ifelse(g$meets, "white", palette_ff[3]), cex = 1.3)
  panel_title("Observed adverse impact")
  legend_below(marks, columns, col = c("black", palette_ff[2]), lty = c(NA, 1), lwd = 2, pch = c(21, NA),
               pt.bg = palette_ff[3])
  invisible(x)
}

plot.fourfifths_sample_impact <- function(x, ...) {
  p <- x$plans
  old <- figure_layout(1)
  on.exit(par(old))
  if (nrow(p) > 1) {
    # The chance that a sample shows a violation, or a significant test,
    # against the size of the pool.
    series <- c(p_violation = "impact ratio below 4/5",
                p_z_difference = sprintf("Z test of the difference significant (%s)", format(x$alpha)),
                p_fisher_one_sided = sprintf("Fisher's exact test (one-sided) significant (%s)",
                                             format(x$alpha)))
    columns <- legend_margin(series)
    order <- order(p$applicants)
    plot(NA, xlim = range(p$applicants), ylim = c(0, 1), xlab = "applicants in the pool",
         ylab = "probability over samples")
    for (i in seq_along(series))
      lines(p$applicants[order], p[[names(series)[i]]][order], col = palette_ff[i], lty = line_types[i],
            lwd = 2)
    panel_title(sprintf("What samples of %s against %s show", x$group, x$reference))
    legend_below(series, columns, col = palette_ff[seq_along(series)], lty = line_types[seq_along(series)],
                 lwd = 2)
  } else {
    # The distribution of the impact ratio a sample shows, as its
    # cumulative probability.
    r <- x$ratios
    marks <- c("P(impact ratio at most r)", sprintf("P(below 4/5) = %s", fixed(p$p_violation)))
    columns <- legend_margin(marks)
    # The axis ends where all but 0.5 % of the samples with a ratio lie
    # (a few samples show ratios far above parity), at least at 1.25.
    total <- cumsum(r$probability)
    upper <- r$ratio[which(total >= 0.995 * total[length(total)])[1]]
    keep <- r$ratio <= max(1.25, upper)
    r <- r[keep, , drop = FALSE]
    plot(NA, xlim = c(0, max(1.25, upper)), ylim = c(0, 1),
         xlab = sprintf("impact ratio r in a sample of %s applicants", format(p$applicants)),
         ylab = "cumulative probability")
    abline(v = c(0.8, 1), col = "grey45", lty = c("44", "13"))
    margin_label(3, c(0.8, 1), c("4/5", "parity"))
    graphics::lines(c(0, r$ratio), c(0, total[keep]), type = "s", lwd = 2, col = palette_ff[2])
    abline(h = p$p_violation, col = palette_ff[3], lty = "22")
    panel_title(sprintf("Impact ratio of %s over samples", x$group))
    legend_below(marks, columns, col = palette_ff[2:3], lty = c("solid", "22"), lwd = 2)
  }
  invisible(x)
}

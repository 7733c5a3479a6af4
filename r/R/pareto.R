pareto_front <- function(R, d, n_predictors, criterion_weights = NULL, sr = 0.10,
                         basis = c("overall", "majority"), applicant_ratio = NULL,
                         minority_share = NULL, points = 21, nonnegative = TRUE) {
  # The front ignores predictor weights: the problem is checked as one with
  # regression weights, which need criteria as the front does.
  problem <- as_problem(R, d, "regression", n_predictors, criterion_weights, basis,
                        applicant_ratio, minority_share, "criterion")
  if (!is_number(sr) || sr <= 0 || sr >= 1)
    bad_argument("`sr` must be one selection ratio strictly between 0 and 1")
  if (!is_number(points) || points != round(points) || points < 2)
    bad_argument("`points` must be a whole number of at least 2")
  if (!is.logical(nonnegative) || length(nonnegative) != 1L || is.na(nonnegative))
    bad_argument("`nonnegative` must be TRUE or FALSE")
  result <- front_of_problem(problem, as.double(sr), as.integer(points), nonnegative)
  if (length(result$messages)) invalid_problem(result$messages)
  weights <- result$weights
  names <- variable_names(R, n_predictors)$predictors
  colnames(weights) <- if (is.null(names)) paste0("w", seq_len(ncol(weights))) else names
  front <- data.frame(kind = result$kind, result$values, weights, check.names = FALSE)
  structure(front, class = c("fourfifths_pareto", "data.frame"), notes = result$notes,
            sr = sr, basis = problem$basis, nonnegative = nonnegative)
}

print.fourfifths_pareto <- function(x, ...) {
  # A part of a front (rows or columns taken) is a plain data frame.
  if (is.null(attr(x, "sr"))) return(NextMethod())
  cat(sprintf("Validity-adverse-impact front: %s weights at the %s selection ratio %s\n",
              if (attr(x, "nonnegative")) "non-negative" else "free", attr(x, "basis"),
              format(attr(x, "sr"))))
  for (note in attr(x, "notes")) cat("Note: ", note, "\n", sep = "")
  print(as.data.frame(unclass(x), check.names = FALSE), digits = 3, ...)
  invisible(x)
}

# Two panels against the adverse-impact ratio: the validity of each weighting
# on the front, with the four-fifths rule and its point; and the weights (the
# trade-off function).
plot.fourfifths_pareto <- function(x, ...) {
  old <- par(mfrow = c(1, 2), mar = c(4.5, 4.5, 2.5, 1))
  on.exit(par(old))
  ai_label <- sprintf("adverse-impact ratio at %s SR %s", attr(x, "basis"), format(attr(x, "sr")))
  plot(x$ai, x$validity, type = "o", pch = 1, lwd = 2, xlab = ai_label,
       ylab = "validity (r with the criterion)", main = "Pareto front")
  abline(v = 0.8, col = "grey40", lty = 2)
  text(0.8, max(x$validity), "four-fifths rule", adj = c(1.05, 1), cex = 0.8, col = "grey30")
  at <- which(x$kind == "four_fifths")
  if (length(at)) {
    points(x$ai[at], x$validity[at], pch = 18, cex = 2)
    # Left of the point and above it: the front falls to the right.
    text(x$ai[at], x$validity[at], sprintf("validity %.3f", x$validity[at]), adj = c(1.15, -0.6),
         cex = 0.8)
  }
  weights <- as.matrix(as.data.frame(unclass(x), check.names = FALSE)[-(1:10)])
  styles <- seq_len(ncol(weights))
  matplot(x$ai, weights, type = "l", lty = styles, lwd = 2, col = styles, xlab = ai_label,
          ylab = "weight (absolute values sum to 1)", main = "Predictor weights")
  abline(v = 0.8, col = "grey40", lty = 2)
  legend("topleft", legend = colnames(weights), lty = styles, lwd = 2, col = styles, bty = "n",
         cex = 0.8)
  invisible(x)
}

# At most this many points on a front, as on the command line.
max_points <- 10000

pareto_front <- function(R, d, n_predictors, criterion_weights = NULL, sr = 0.10,
                         basis = c("overall", "majority", "reference"), applicant_ratio = NULL,
                         minority_share = NULL, points = 21, nonnegative = TRUE,
                         sample_size = NULL, predictors_screened = NULL, shares = NULL,
                         pool = c("joint", "pairwise"), target = 0.8) {
  if (is.data.frame(d)) d <- as.matrix(d)
  if (!is_number(sr) || !(sr > 0 && sr < 1))
    bad_argument("`sr` must be one selection ratio strictly between 0 and 1 (10%% is 0.10)")
  # Checked as a double: a count beyond the integers must not wrap on conversion.
  if (!is_number(points) || !is.finite(points) || points != round(points) ||
      points < 2 || points > max_points)
    bad_argument("`points` must be a whole number from 2 to %d", max_points)
  if (!is.logical(nonnegative) || length(nonnegative) != 1L || is.na(nonnegative))
    bad_argument("`nonnegative` must be TRUE or FALSE")
  basis <- one_of(basis, c("overall", "majority", "reference"), "basis")
  if (basis == "reference") basis <- "majority"
  if (is.matrix(d)) {
    if (!is.null(sample_size) || !is.null(predictors_screened))
      bad_argument(paste("`sample_size` and `predictors_screened` go with the front of two groups",
                         "(a vector `d`): the front of several groups is of the population"))
    return(group_front(R, d, n_predictors, criterion_weights, sr, basis, applicant_ratio,
                       minority_share, points, nonnegative, shares, pool, target))
  }
  if (!is.null(shares) || !identical(target, 0.8))
    bad_argument(paste("`shares` and `target` go with `d` as a matrix of one row per group; the front",
                       "of two groups (a vector `d`) marks AI 0.8"))
  # The front ignores predictor weights: the problem is checked as one with
  # regression weights, which need criteria as the front does.
  problem <- as_problem(R, d, "regression", n_predictors, criterion_weights, basis,
                        applicant_ratio, minority_share, "criterion")
  # A validation sample's size (and the predictors screened in it) add the
  # validity and AI expected on new applicants; counts checked as doubles.
  whole <- function(x) is_number(x) && is.finite(x) && x == round(x) && x >= 1 &&
    x <= .Machine$integer.max
  if (!is.null(sample_size) && !whole(sample_size))
    bad_argument("`sample_size` must be a whole number of applicants, at least 1")
  if (!is.null(predictors_screened) && !whole(predictors_screened))
    bad_argument("`predictors_screened` must be a whole number of predictors, at least 1")
  if (!is.null(predictors_screened) && is.null(sample_size))
    bad_argument("`predictors_screened` needs the validation sample's `sample_size`")
  result <- front_of_problem(problem, as.double(sr), as.integer(points), nonnegative,
                             if (is.null(sample_size)) 0L else as.integer(sample_size),
                             if (is.null(predictors_screened)) 0L else as.integer(predictors_screened))
  if (length(result$messages)) invalid_problem(result$messages)
  # The weights' columns are named by the predictors; one named like a column
  # of the front's own gets the prefix w_.
  fixed <- c("kind", names(result$values))
  weights <- result$weights
  given <- variable_names(R, n_predictors)$predictors
  given <- if (is.null(given)) paste0("w", seq_along(weights)) else given
  reserved <- c(fixed, "shrunk_validity", "shrunk_ai")
  given[given %in% reserved] <- paste0("w_", given[given %in% reserved])
  names(weights) <- make.unique(c(fixed, given), sep = "_")[-seq_along(fixed)]
  front <- c(list(kind = result$kind), result$values, weights)
  structure(front, row.names = c(NA_integer_, -length(result$kind)),
            class = c("fourfifths_pareto", "data.frame"), notes = result$notes,
            sr = sr, basis = problem$basis, nonnegative = nonnegative,
            sample_size = sample_size,
            predictors_screened = if (is.null(sample_size)) NULL
                                  else if (is.null(predictors_screened)) n_predictors
                                  else predictors_screened)
}

# The columns of a front that hold its weights.
weight_columns <- function(x) setdiff(names(x), c("kind", "ai", "validity", "composite_d", "cutoff",
                                                   "sra", "sri", "quality", "quality_majority",
                                                   "quality_minority", "shrunk_validity",
                                                   "shrunk_ai"))

print.fourfifths_pareto <- function(x, digits = 3, ...) {
  # A part of a front (rows or columns taken) is a plain data frame.
  if (is.null(attr(x, "sr"))) return(NextMethod())
  cat(sprintf("Validity-adverse-impact front: %s weights at the %s selection ratio %s\n",
              if (attr(x, "nonnegative")) "non-negative" else "free", attr(x, "basis"),
              format(attr(x, "sr"))))
  if (!is.null(attr(x, "sample_size")))
    cat(sprintf(paste0("From a validation sample of %d, %d predictors screened: shrunk_validity and ",
                       "shrunk_ai are expected on new applicants\n"),
                as.integer(attr(x, "sample_size")), as.integer(attr(x, "predictors_screened"))))
  for (note in attr(x, "notes")) cat("Note: ", note, "\n", sep = "")
  table <- as.data.frame(unclass(x), check.names = FALSE)
  # Values that are zero but for rounding (a composite d of 2e-17 at parity)
  # print as 0, not in scientific notation across their column.
  numeric <- vapply(table, is.numeric, logical(1))
  table[numeric] <- lapply(table[numeric], zapsmall, digits = max(digits, 7))
  print(table, digits = digits, ...)
  invisible(x)
}

# The front of several groups (d a matrix of one named row per group, the
# reference group first), in long form: one row per point and group.
group_front <- function(R, d, n_predictors, criterion_weights, sr, basis, applicant_ratio, minority_share,
                        points, nonnegative, shares, pool, target) {
  if (!is.null(applicant_ratio) || !is.null(minority_share))
    bad_argument(paste("with `d` a matrix of groups the pool is given by `shares`;",
                       "`applicant_ratio` and `minority_share` go with a vector `d` of two groups"))
  if (!is_number(target) || !(target > 0 && target <= 1))
    bad_argument("`target` must be one adverse-impact ratio in (0, 1] (the four-fifths rule is 0.8)")
  problem <- as_group_problem(R, d, "regression", n_predictors, criterion_weights, basis, shares,
                              "criterion", NULL, pool)
  result <- group_front_of_problem(problem, as.double(sr), as.integer(points), nonnegative,
                                   as.double(target))
  if (length(result$messages)) invalid_problem(result$messages)
  fixed <- names(result$values)
  weights <- result$weights
  given <- problem$predictor_names
  given <- if (!length(given)) paste0("w", seq_along(weights)) else given
  given[given %in% fixed] <- paste0("w_", given[given %in% fixed])
  names(weights) <- make.unique(c(fixed, given), sep = "_")[-seq_along(fixed)]
  front <- c(result$values, weights)
  headline <- result$headline
  structure(front, row.names = c(NA_integer_, -length(front$point)),
            class = c("fourfifths_group_pareto", "data.frame"), notes = result$notes,
            headline = headline, sr = sr, basis = problem$basis, pool = problem$pool,
            nonnegative = nonnegative, target = target)
}

# The headline of a front of several groups in one sentence.
headline_words <- function(x) {
  h <- attr(x, "headline")
  target <- format(attr(x, "target"))
  if (h$reached)
    sprintf("The most valid weighting with every group's AI at least %s has validity %.3f (the most valid of all: %.3f)%s",
            target, h$validity, h$most_valid,
            if (length(h$binding)) paste0("; binding: ", paste(h$binding, collapse = ", ")) else "")
  else
    sprintf("No weighting reaches AI %s for every group: the best reaches a smallest AI of %.3f (binding: %s) at validity %.3f",
            target, h$min_ai, paste(h$binding, collapse = ", "), h$validity)
}

print.fourfifths_group_pareto <- function(x, digits = 3, ...) {
  if (is.null(attr(x, "headline"))) return(NextMethod())
  cat(sprintf("Validity-smallest-AI front of %d groups (%s pool): %s weights at the %s selection ratio %s\n",
              nlevels(x$group), attr(x, "pool"), if (attr(x, "nonnegative")) "non-negative" else "free",
              if (attr(x, "basis") == "overall") "overall" else "reference group's", format(attr(x, "sr"))))
  cat(headline_words(x), "\n", sep = "")
  for (note in attr(x, "notes")) cat("Note: ", note, "\n", sep = "")
  table <- as.data.frame(unclass(x), check.names = FALSE)
  attr(table, "headline") <- NULL
  numeric <- vapply(table, is.numeric, logical(1))
  table[numeric] <- lapply(table[numeric], zapsmall, digits = max(digits, 7))
  print(table, digits = digits, ...)
  invisible(x)
}

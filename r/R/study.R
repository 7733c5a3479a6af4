selection_study <- function(R, d, weights, n_predictors, criterion_weights = NULL,
                            basis = c("overall", "majority", "reference"), applicant_ratio = NULL,
                            minority_share = NULL, quality = c("criterion", "predictor"),
                            sr = NULL, sweep = NULL, shares = NULL, pool = c("joint", "pairwise")) {
  checked <- study_problem(R, d, weights, n_predictors, criterion_weights, basis, applicant_ratio,
                           minority_share, quality, sr, sweep, shares, pool)
  # The analysis keeps a row for every requested ratio, as the program's
  # report does; one that is no selection ratio is worth a warning.
  ratios <- checked$problem$requested_ratios
  outside <- ratios[!(ratios > 0 & ratios < 1)]
  if (length(outside))
    warning(structure(class = c("fourfifths_ratio_out_of_range", "warning", "condition"),
                      list(message = sprintf(paste(
                        "requested selection ratios lie strictly between 0 and 1 (10%% is 0.10):",
                        "the rows of %s hold NA"), listed(unique(outside))),
                        call = NULL, ratios = outside)))
  if (checked$groups) group_analysis(checked$problem, checked$sweep)
  else analysis(checked$problem, checked$names, checked$sweep)
}

# The arguments of selection_study() checked: the problem of two groups
# (d a vector) or of several (d a matrix), whether it is of several, the
# variables' names and the sweep.
study_problem <- function(R, d, weights, n_predictors, criterion_weights = NULL,
                          basis = c("overall", "majority", "reference"), applicant_ratio = NULL,
                          minority_share = NULL, quality = c("criterion", "predictor"),
                          sr = NULL, sweep = NULL, shares = NULL, pool = c("joint", "pairwise")) {
  basis <- one_of(basis, c("overall", "majority", "reference"), "basis")
  # The majority of two groups is the reference group of several.
  if (basis == "reference") basis <- "majority"
  if (is.data.frame(d)) d <- as.matrix(d)
  groups <- is.matrix(d)
  if (groups) {
    if (!is.null(applicant_ratio) || !is.null(minority_share))
      bad_argument(paste("with `d` a matrix of groups the pool is given by `shares`;",
                         "`applicant_ratio` and `minority_share` go with a vector `d` of two groups"))
    problem <- as_group_problem(R, d, weights, n_predictors, criterion_weights, basis, shares,
                                quality, sr, pool)
  } else {
    if (!is.null(shares))
      bad_argument(paste("`shares` go with `d` as a matrix of one row per group; with a vector `d`",
                         "of two groups give `applicant_ratio` or `minority_share`"))
    one_of(pool, c("joint", "pairwise"), "pool")
    problem <- as_problem(R, d, weights, n_predictors, criterion_weights, basis,
                          applicant_ratio, minority_share, quality, sr)
  }
  list(problem = problem, groups = groups, names = variable_names(R, n_predictors),
       sweep = checked_sweep(sweep))
}

# At most this many sweep ratios in one study, and none below min_sweep, as
# on the command line: the study's rows form each group's selection ratio as
# one minus a lower tail, whose absolute error of about 1e-16 leaves smaller
# ratios without their accuracy.
max_sweep <- 100000L
min_sweep <- 1e-6

# The sweep's ratios, checked.
checked_sweep <- function(sweep) {
  if (is.null(sweep)) sweep <- numeric()
  if (is.numeric(sweep) && length(sweep) > max_sweep)
    bad_argument("`sweep` holds at most %d selection ratios, not %.0f", max_sweep, length(sweep))
  check_numbers(sweep, NULL, "sweep", "a numeric vector of selection ratios")
  if (!all(sweep > 0 & sweep < 1))
    bad_argument("`sweep` ratios must lie strictly between 0 and 1 (10%% is 0.10): %s",
                 listed(head(sweep[!(sweep > 0 & sweep < 1)], 5)))
  if (any(sweep < min_sweep))
    bad_argument("`sweep` ratios must be at least %g, the smallest whose rows keep their accuracy: %s",
                 min_sweep, listed(head(sweep[sweep < min_sweep], 5)))
  as.double(sweep)
}

# The study of a checked problem, its variables named by names.
analysis <- function(problem, names, sweep) {
  result <- analyse_problem(problem, checked_sweep(sweep))
  if (length(result$messages)) invalid_problem(result$messages)
  weights <- result$weights
  names(weights) <- names$predictors
  structure(list(problem = problem, names = names, weights = weights,
                 composites = result$composites, boundary = result$boundary,
                 rows = result$rows),
            class = "fourfifths_study")
}

as.data.frame.fourfifths_study <- function(x, row.names = NULL, optional = FALSE, ...) {
  rows <- x$rows
  if (!is.null(row.names)) rownames(rows) <- row.names
  rows
}

format.fourfifths_study <- function(x, style = c("summary", "report"), ...) {
  style <- match.arg(style)
  if (style == "report") report_problem(x$problem) else study_summary(x)
}

print.fourfifths_study <- function(x, ...) {
  cat(format(x, style = "summary"))
  invisible(x)
}

fixed <- function(x) formatC(x, format = "f", digits = 3)

plural <- function(n, word) sprintf("%d %s%s", n, word, if (n == 1) "" else "s")

# The short account print() gives: the problem, the predictor weights, the
# composite statistics, the boundary and the requested rows.
study_summary <- function(x) {
  p <- x$problem
  overall <- p$basis == "overall"
  criteria <- if (p$criteria == 1) "criterion" else "criteria"
  head <- sprintf("Selection study: %s, %d %s, per %s selection ratio",
                  plural(p$predictors, "predictor"), p$criteria, criteria, p$basis)
  if (overall)
    head <- c(head, sprintf("Applicant pool: %s majority applicants per minority applicant",
                            fixed(p$applicant_ratio)))
  w <- x$weights
  shown <- if (is.null(names(w))) fixed(w) else paste(names(w), fixed(w))
  weights <- sprintf("Predictor weights%s: %s",
                     if (p$regression_weights) " (regression)" else "",
                     paste(shown, collapse = ", "))
  comp <- x$composites
  composites <- sprintf("Composites: validity rxy %s, effect sizes dx %s, dy %s",
                        fixed(comp[["rxy"]]), fixed(comp[["dx"]]), fixed(comp[["dy"]]))
  b <- x$boundary
  boundary <- if (is.na(b[["sr"]]) && comp[["dx"]] >= 0)
                sprintf(paste("Four-fifths boundary: none; the minority group scores at least as high",
                              "on the predictor composite (dx %s), so there is no adverse impact to bound"),
                        fixed(comp[["dx"]]))
              else if (is.na(b[["sr"]])) "Four-fifths boundary: none in the cut-off range [-8, 8]"
              else if (overall) sprintf("Four-fifths boundary: SR %s (SRA %s, SRI %s)",
                                        fixed(b[["sr"]]), fixed(b[["sra"]]), fixed(b[["sri"]]))
              else sprintf("Four-fifths boundary: SRA %s (SRI %s)", fixed(b[["sra"]]), fixed(b[["sri"]]))
  quality <- sprintf("Requested ratios (mean quality on the %s composite):", p$quality)
  rows <- x$rows[x$rows$kind == "requested", , drop = FALSE]
  columns <- if (overall) c("sr", "sra", "sri", "ai", "m", "ma", "mi", "dif")
             else c("sra", "sri", "ai", "ma", "mi", "dif")
  table <- if (nrow(rows) == 0) "  none"
           else {
             cells <- vapply(rows[columns], function(v) formatC(fixed(v), width = 7), character(nrow(rows)))
             cells <- matrix(cells, nrow = nrow(rows))
             notes <- ifelse(rows$status == "ok", "", paste0("  ", rows$status, " at ", rows$sr))
             c(paste(formatC(toupper(columns), width = 7), collapse = " "),
               paste0(apply(cells, 1, paste, collapse = " "), notes))
           }
  paste0(c(head, weights, composites, boundary, quality, table), "\n", collapse = "")
}

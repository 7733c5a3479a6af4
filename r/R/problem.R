# A selection problem as the library takes it: a named list with the fields
# of fourfifths::Problem. The checks here are made before any computation:
# types, shapes, names, ranges, and whether R can be a correlation matrix (the
# library's own check, so that R refuses what the programs refuse). Whether
# the values make an analysable problem is the library's judgement
# (validate()), reported as fourfifths_invalid_problem.

bad_argument <- function(format, ...) {
  stop(structure(class = c("fourfifths_bad_argument", "error", "condition"),
                 list(message = if (...length()) sprintf(format, ...) else format, call = NULL)))
}

invalid_problem <- function(messages) {
  stop(structure(class = c("fourfifths_invalid_problem", "error", "condition"),
                 list(message = paste(messages, collapse = "\n"), call = NULL,
                      messages = messages)))
}

# One of the choices; the whole vector of choices (an argument left at its
# default) means the first.
one_of <- function(x, choices, name) {
  if (identical(x, choices)) return(choices[[1]])
  if (!is.character(x) || length(x) != 1L || !(x %in% choices))
    bad_argument("`%s` must be %s", name, paste0("\"", choices, "\"", collapse = " or "))
  x
}

is_number <- function(x) {
  is.numeric(x) && length(x) == 1L && !is.na(x)
}

# A numeric vector of the given length (any length when NULL) of finite
# numbers.
check_numbers <- function(x, length, name, what) {
  if (!is.numeric(x) || (!is.null(length) && length(x) != length) || anyNA(x))
    bad_argument("`%s` must be %s without NA", name, what)
  if (!all(is.finite(x)))
    bad_argument("`%s` must hold finite numbers", name)
}

listed <- function(x) paste(x, collapse = ", ")

# The values of x in the order of the names of R's variables they belong to,
# when both are named; stops when the names are not those variables.
matched <- function(x, names, argument, what) {
  given <- names(x)
  if (is.null(given) || is.null(names)) return(as.double(x))
  if (length(given) != length(names) || anyDuplicated(given) || !all(given %in% names))
    bad_argument("the names of `%s` (%s) must be those of the %s in the dimnames of `R` (%s)",
                 argument, listed(given), what, listed(names))
  as.double(x[names])
}

# The composites do not depend on the scale of the weights; weights whose
# squares would leave the range of double precision are brought to a largest
# absolute value of 1 first.
scaled <- function(w) {
  s <- max(abs(w), 0)
  if (s > 0 && (s < 1e-100 || s > 1e100)) w / s else w
}

# The names of the variables, from the dimnames of R (NULL when it has none).
r_names <- function(R) {
  rows <- rownames(R)
  columns <- colnames(R)
  if (!is.null(rows) && !is.null(columns) && !identical(rows, columns))
    bad_argument("the row names of `R` (%s) differ from its column names (%s)",
                 listed(rows), listed(columns))
  names <- if (is.null(columns)) rows else columns
  if (!is.null(names) && (anyNA(names) || any(names == "") || anyDuplicated(names)))
    bad_argument("the names of `R`'s variables must be unique and not empty: %s", listed(names))
  names
}

# R checked as a correlation matrix of n_predictors predictors and then the
# criteria: its size, the counts and the variables' names, and R's rows in
# the order the library reads them.
checked_matrix <- function(R, n_predictors) {
  if (!is.matrix(R) || !is.numeric(R) || nrow(R) == 0L)
    bad_argument("`R` must be a numeric matrix (the correlations of the predictors, then the criteria)")
  n <- nrow(R)
  if (ncol(R) != n)
    bad_argument("`R` must be square: it has %d rows and %d columns", n, ncol(R))
  if (anyNA(R))
    bad_argument("`R` must not hold NA")
  if (!all(is.finite(R)))
    bad_argument("`R` must hold finite numbers")
  tR <- t(R)
  if (any(R != tR & !(abs(R - tR) <= 1e-10)))
    bad_argument("`R` must be symmetric")
  off <- which(!(abs(diag(R) - 1) <= 1e-12))
  if (length(off))
    bad_argument("`R` must be a correlation matrix, with 1 on its diagonal: R[%d, %d] is %s%s",
                 off[1], off[1], format(R[off[1], off[1]]),
                 if (all(diag(R) > 0)) " (a covariance matrix? cov2cor() turns it into correlations)" else "")
  names <- r_names(R)
  if (!is_number(n_predictors) || n_predictors != round(n_predictors) ||
      n_predictors < 1 || n_predictors > n)
    bad_argument("`n_predictors` must be a whole number from 1 to nrow(R) = %d", n)
  np <- as.integer(n_predictors)
  list(n = n, np = np, nc = n - np, names = names, correlations = as.double(tR))
}

# The weights, the quality composite and the requested ratios, checked and
# matched by name to the variables of m (checked_matrix()).
checked_weights <- function(m, weights, criterion_weights, quality, sr) {
  predictors <- seq_len(m$np)
  regression <- identical(weights, "regression")
  if (identical(weights, "front"))
    bad_argument(paste("`weights` is \"front\": the weights are left to the validity-adverse-impact",
                       "front (pareto_front()); a study needs predictor weights or \"regression\""))
  if (!regression) {
    check_numbers(weights, m$np, "weights",
                  sprintf("\"regression\" or a numeric vector of %d predictor weights", m$np))
    weights <- scaled(matched(weights, m$names[predictors], "weights", "predictors"))
  }
  if (is.null(criterion_weights)) criterion_weights <- rep(1, m$nc)
  check_numbers(criterion_weights, m$nc, "criterion_weights",
                sprintf("a numeric vector of %d criterion weights", m$nc))
  criterion_weights <- scaled(matched(criterion_weights, m$names[-predictors], "criterion_weights",
                                      "criteria"))
  # Without criteria the only composite to measure quality on is the
  # predictors'.
  quality <- if (identical(quality, c("criterion", "predictor")) && m$nc == 0) "predictor"
             else one_of(quality, c("criterion", "predictor"), "quality")
  if (is.null(sr)) sr <- numeric()
  check_numbers(sr, NULL, "sr", "a numeric vector of selection ratios")
  list(regression_weights = regression,
       predictor_weights = if (regression) numeric() else as.double(weights),
       criterion_weights = as.double(criterion_weights), quality = quality,
       requested_ratios = as.double(sr))
}

# Stops when the library finds that the problem's R cannot be a correlation
# matrix; returns the problem.
checked_correlations <- function(problem) {
  messages <- correlation_messages(problem)
  if (length(messages))
    stop(structure(class = c("fourfifths_bad_argument", "error", "condition"),
                   list(message = paste(c("`R` cannot be a correlation matrix:", messages),
                                        collapse = "\n"),
                        call = NULL, messages = messages)))
  problem
}

as_problem <- function(R, d, weights, n_predictors, criterion_weights = NULL,
                       basis = c("overall", "majority"), applicant_ratio = NULL,
                       minority_share = NULL, quality = c("criterion", "predictor"),
                       sr = numeric()) {
  basis <- one_of(basis, c("overall", "majority"), "basis")
  m <- checked_matrix(R, n_predictors)
  check_numbers(d, m$n, "d", sprintf("a numeric vector of %d effect sizes (one per row of `R`)", m$n))
  d <- matched(d, m$names, "d", "variables")
  w <- checked_weights(m, weights, criterion_weights, quality, sr)
  ratio <- 0
  if (basis == "overall") {
    if (is.null(applicant_ratio) == is.null(minority_share))
      bad_argument("the overall basis needs exactly one of `applicant_ratio` and `minority_share`")
    if (!is.null(applicant_ratio)) {
      if (!is_number(applicant_ratio) || !is.finite(applicant_ratio))
        bad_argument("`applicant_ratio` must be one finite number (majority applicants per minority applicant)")
      ratio <- applicant_ratio
    } else {
      if (!is_number(minority_share) || !(minority_share > 0 && minority_share < 1))
        bad_argument("`minority_share` must be one proportion strictly between 0 and 1 (both groups apply)")
      ratio <- (1 - minority_share) / minority_share
    }
  } else if (!is.null(applicant_ratio) || !is.null(minority_share)) {
    bad_argument("`applicant_ratio` and `minority_share` belong to the overall basis only")
  }
  checked_correlations(list(
    predictors = m$np, criteria = m$nc, basis = basis, applicant_ratio = as.double(ratio),
    regression_weights = w$regression_weights, quality = w$quality,
    predictor_weights = w$predictor_weights, criterion_weights = w$criterion_weights,
    correlations = m$correlations,
    predictor_effects = d[seq_len(m$np)],
    criterion_effects = d[m$np + seq_len(m$nc)],
    requested_ratios = w$requested_ratios))
}

# The arguments of selection_study() for a problem: the inverse of
# as_problem(), for problems read from decks.
problem_arguments <- function(problem) {
  n <- problem$predictors + problem$criteria
  arguments <- list(
    R = matrix(problem$correlations, n, n, byrow = TRUE),
    d = c(problem$predictor_effects, problem$criterion_effects),
    weights = if (problem$regression_weights) "regression" else problem$predictor_weights,
    n_predictors = problem$predictors)
  if (problem$criteria > 0) arguments$criterion_weights <- problem$criterion_weights
  arguments$basis <- problem$basis
  if (problem$basis == "overall") arguments$applicant_ratio <- problem$applicant_ratio
  arguments$quality <- problem$quality
  arguments$sr <- problem$requested_ratios
  arguments
}

# The names of the predictors and the criteria, from the dimnames of R.
variable_names <- function(R, n_predictors) {
  names <- r_names(R)
  if (is.null(names)) return(NULL)
  np <- as.integer(n_predictors)
  list(predictors = names[seq_len(np)], criteria = names[-seq_len(np)])
}

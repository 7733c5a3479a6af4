# Study files (TOML, or the same structure as JSON): read and written by the
# library's reader and writers, as fourfifths-study reads and writes them.

# The bytes of a file or of a text given in R, without a byte-order mark;
# what names the source in messages.
text_of <- function(file, text, what) {
  if (!missing(file) && !is.null(text))
    bad_argument("give `file` or `text`, not both")
  if (is.null(text)) {
    if (missing(file)) bad_argument("give `file` (a %s file) or `text` (a %s's text)", what, what)
    if (!is.character(file) || length(file) != 1L || is.na(file) || !file.exists(file) ||
        dir.exists(file))
      bad_argument("`file` must name an existing %s file", what)
    bytes <- readBin(file, "raw", file.size(file))
    where <- file
  } else {
    if (!is.character(text) || length(text) != 1L || is.na(text))
      bad_argument("`text` must be one string holding the whole %s", what)
    bytes <- charToRaw(text)
    where <- ""
  }
  # A byte-order mark (editors on Windows write one before UTF-8 text) is no
  # part of the text.
  if (length(bytes) >= 3L && identical(bytes[1:3], as.raw(c(0xef, 0xbb, 0xbf))))
    bytes <- bytes[-(1:3)]
  if (any(bytes == 0))
    bad_argument("%sa %s is text, and this holds a zero byte", if (nzchar(where)) paste0(where, ": ") else "",
                 what)
  list(text = rawToChar(bytes), where = where)
}

read_study_file <- function(file, text = NULL) {
  source <- text_of(file, text, "study")
  reading <- read_study_text(source$text, if (nzchar(source$where)) source$where else "<text>")
  if (!is.null(reading$error)) {
    e <- reading$error
    stop(structure(class = c("fourfifths_study_file_error", "error", "condition"),
                   list(message = e$message, call = NULL, line = e$line, column = e$column,
                        key = e$key)))
  }
  if (length(reading$stages$name)) staged_arguments(reading$problem, reading$stages, reading$minimum)
  else study_arguments(reading$problem, reading$weights, reading$sweep)
}

# The arguments of staged_study() for a study file with stages: the groups
# as for selection_study(), each stage's weights by predictor name.
staged_arguments <- function(problem, stages, minimum) {
  arguments <- study_arguments(problem, "given", numeric())
  rule_key <- c(entrants = "entrants", cumulative = "still_in", cutoff = "cutoff")
  design <- lapply(seq_along(stages$name), function(s) {
    stage <- list(name = stages$name[s], weights = setNames(stages$weights[[s]], problem$predictor_names))
    stage[[rule_key[[stages$rule[s]]]]] <- stages$value[s]
    stage
  })
  c(arguments[c("R", "d")], list(stages = design), arguments["n_predictors"],
    arguments[intersect("criterion_weights", names(arguments))],
    list(shares = arguments$shares, quality = arguments$quality, minimum = minimum))
}

# The arguments of selection_study() for a problem of several groups: the
# inverse of as_group_problem(), every variable and group named.
study_arguments <- function(problem, source, sweep) {
  variables <- c(problem$predictor_names, problem$criterion_names)
  n <- length(variables)
  R <- matrix(problem$correlations, n, n, byrow = TRUE, dimnames = list(variables, variables))
  d <- matrix(unlist(mapply(c, problem$predictor_effects, problem$criterion_effects, SIMPLIFY = FALSE)),
              ncol = n, byrow = TRUE, dimnames = list(problem$group_names, variables))
  weights <- switch(source, given = setNames(problem$predictor_weights, problem$predictor_names),
                    regression = "regression", front = "front")
  arguments <- list(R = R, d = d, weights = weights, n_predictors = problem$predictors)
  if (problem$criteria > 0)
    arguments$criterion_weights <- setNames(problem$criterion_weights, problem$criterion_names)
  overall <- problem$basis == "overall"
  arguments$basis <- if (overall) "overall" else "reference"
  if (overall) arguments$shares <- setNames(problem$shares, problem$group_names)
  arguments$pool <- problem$pool
  arguments$quality <- problem$quality
  arguments$sr <- problem$requested_ratios
  if (length(sweep)) arguments$sweep <- sweep
  arguments
}

# A number in the shortest form that reads back to the same double.
shortest <- function(x) {
  vapply(x, function(v) {
    for (digits in 15:17) {
      text <- formatC(v, digits = digits, format = "g")
      if (as.double(text) == v) return(trimws(text))
    }
    trimws(formatC(v, digits = 17, format = "g"))
  }, "")
}

write_study_file <- function(..., file, format = c("toml", "json"), comment = NULL) {
  format <- one_of(format, c("toml", "json"), "format")
  if (missing(file) || !is.character(file) || length(file) != 1L || is.na(file))
    bad_argument("`file` must name the study file to write")
  if (!is.null(comment) && (!is.character(comment) || anyNA(comment)))
    bad_argument("`comment` must be NULL or text")
  comment <- paste(if (is.null(comment)) character() else comment, collapse = "\n")
  if ("stages" %in% names(list(...))) {
    # A staged design: the arguments of staged_study().
    checked <- staged_arguments_checked(...)
    text <- write_study_text(checked$problem, "", format == "json", comment, checked$design,
                             checked$minimum)
  } else {
    checked <- study_problem(...)
    problem <- checked$problem
    if (!checked$groups) problem <- two_groups(problem, checked$names)
    none <- list(name = character(), rule = character(), value = numeric(), weights = list())
    text <- write_study_text(problem, paste(shortest(checked$sweep), collapse = ","),
                             format == "json", comment, none, 0)
  }
  cat(text, file = file, sep = "")
  invisible(text)
}

# A two-group problem as one of groups "majority" and "minority", its
# variables named as R's dimnames name them (else P1, ..., C1, ...).
two_groups <- function(problem, names) {
  np <- problem$predictors
  nc <- problem$criteria
  list(predictor_names = if (is.null(names)) paste0("P", seq_len(np)) else names$predictors,
       criterion_names = if (is.null(names)) paste0("C", seq_len(nc)) else names$criteria,
       predictors = np, criteria = nc, basis = problem$basis, pool = "joint",
       regression_weights = problem$regression_weights, quality = problem$quality,
       predictor_weights = problem$predictor_weights, criterion_weights = problem$criterion_weights,
       correlations = problem$correlations, group_names = c("majority", "minority"),
       shares = if (problem$basis == "overall") c(problem$applicant_ratio, 1) else numeric(),
       predictor_effects = list(rep(0, np), problem$predictor_effects),
       criterion_effects = list(rep(0, nc), problem$criterion_effects),
       requested_ratios = problem$requested_ratios)
}

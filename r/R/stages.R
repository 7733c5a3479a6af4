# Staged (multiple-hurdle) selection of several groups: the groups as
# selection_study() takes them, the stages as a list or a data frame, the
# library's exact analysis, and its results in long data frames.

# The pass rules and the words a stage may give them in: the study file's
# still_in is the library's cumulative.
pass_rules <- c(entrants = "entrants", still_in = "cumulative", cumulative = "cumulative",
                cutoff = "cutoff")

staged_study <- function(R, d, stages, n_predictors, criterion_weights = NULL, shares,
                         quality = c("criterion", "predictor"), minimum = 0) {
  checked <- staged_arguments_checked(R, d, stages, n_predictors, criterion_weights, shares, quality,
                                      minimum)
  staged_analysis(checked$problem, checked$design, checked$minimum)
}

# The arguments of staged_study() checked: the problem of groups (its
# predictor weights the last stage's, as in a study file), the stages in the
# library's form and the minimum.
staged_arguments_checked <- function(R, d, stages, n_predictors, criterion_weights = NULL, shares,
                                     quality = c("criterion", "predictor"), minimum = 0) {
  if (is.data.frame(d)) d <- as.matrix(d)
  if (!is.matrix(d))
    bad_argument("`d` must be a matrix of one named row per group (the reference group first)")
  if (missing(shares))
    bad_argument("a staged study needs the groups' `shares` of the applicant pool (or their counts)")
  m <- checked_matrix(R, n_predictors)
  design <- checked_stages(stages, m)
  if (!is_number(minimum) || !(minimum >= 0 && minimum <= 1))
    bad_argument("`minimum` must be one share of all applicants in [0, 1]")
  last <- design$weights[[length(design$weights)]]
  if (!is.null(m$names)) names(last) <- m$names[seq_len(m$np)]
  problem <- as_group_problem(R, d, last, n_predictors, criterion_weights, "overall", shares,
                              quality, NULL, "joint")
  list(problem = problem, design = design, minimum = as.double(minimum))
}

# The analysis of a checked problem of groups and checked stages.
staged_analysis <- function(problem, design, minimum) {
  result <- analyse_staged_problem(problem, design, minimum)
  if (length(result$messages)) invalid_problem(result$messages)
  rows <- result$stages
  rows$selection <- factor(rows$selection, c("staged", "single"))
  quality <- result$quality
  quality$selection <- factor(quality$selection, c("staged", "single"))
  weights <- do.call(rbind, design$weights)
  colnames(weights) <- if (length(problem$predictor_names)) problem$predictor_names
                       else paste0("P", seq_len(problem$predictors))
  structure(list(problem = problem,
                 stages = data.frame(stage = seq_along(design$name), name = design$name,
                                     rule = design$rule, value = design$value, weights,
                                     check.names = FALSE),
                 minimum = minimum, rows = rows, quality = quality),
            class = "fourfifths_staged_study")
}

# The stages checked and brought to the library's form: names, rules,
# values, and each stage's weights as one per predictor (predictors a stage
# does not name weigh 0).
checked_stages <- function(stages, m) {
  if (is.data.frame(stages)) stages <- stages_of_frame(stages, m)
  if (!is.list(stages) || length(stages) == 0L)
    bad_argument(paste("`stages` must be a list of stages (each a list of `name`, `weights` and one",
                       "of `entrants`, `still_in` or `cutoff`) or a data frame of them"))
  labels <- names(stages)
  design <- list(name = character(), rule = character(), value = numeric(), weights = list())
  predictors <- m$names[seq_len(m$np)]
  for (s in seq_along(stages)) {
    stage <- stages[[s]]
    at <- sprintf("stage %d", s)
    if (!is.list(stage))
      bad_argument("%s of `stages` must be a list of `name`, `weights` and its pass rule", at)
    name <- if (!is.null(stage$name)) stage$name else if (!is.null(labels) && nzchar(labels[s])) labels[s]
            else sprintf("stage %d", s)
    if (!is.character(name) || length(name) != 1L || is.na(name))
      bad_argument("%s: `name` must be one string", at)
    at <- sprintf("stage %d '%s'", s, name)
    given <- intersect(names(stage), names(pass_rules))
    if (length(given) != 1L)
      bad_argument("%s: give exactly one pass rule, `entrants`, `still_in` or `cutoff`%s", at,
                   if (length(given)) sprintf(" (it gives %s)", listed(given)) else "")
    value <- stage[[given]]
    if (!is_number(value))
      bad_argument("%s: `%s` must be one number", at, given)
    w <- stage$weights
    if (!is.numeric(w) || anyNA(w) || !all(is.finite(w)) || length(w) == 0L)
      bad_argument("%s: `weights` must be finite numbers, by predictor name or one per predictor", at)
    if (is.null(names(w))) {
      if (length(w) != m$np)
        bad_argument("%s: %d unnamed `weights` given for %d predictors", at, length(w), m$np)
      full <- as.double(w)
    } else {
      if (is.null(predictors))
        bad_argument("%s: `weights` are named, but the predictors are not (name the dimnames of `R`)", at)
      unknown <- setdiff(names(w), predictors)
      if (length(unknown) || anyDuplicated(names(w)))
        bad_argument("%s: the names of `weights` (%s) must be predictors, each once: %s", at,
                     listed(names(w)), listed(predictors))
      full <- setNames(rep(0, m$np), predictors)
      full[names(w)] <- w
      full <- unname(full)
    }
    design$name[s] <- name
    design$rule[s] <- pass_rules[[given]]
    design$value[s] <- as.double(value)
    design$weights[[s]] <- scaled(full)
  }
  design
}

# Stages given as a data frame: a row per stage with `name`, `rule`,
# `value` and a column of weights per predictor named.
stages_of_frame <- function(frame, m) {
  needed <- c("name", "rule", "value")
  if (!all(needed %in% names(frame)))
    bad_argument("a data frame of `stages` needs the columns name, rule and value, then weights by predictor")
  columns <- setdiff(names(frame), c(needed, "stage"))
  lapply(seq_len(nrow(frame)), function(s) {
    rule <- as.character(frame$rule[s])
    if (!rule %in% names(pass_rules))
      bad_argument("stage %d: `rule` must be \"entrants\", \"still_in\" (or \"cumulative\") or \"cutoff\", not \"%s\"",
                   s, rule)
    weights <- vapply(columns, function(k) as.double(frame[[k]][s]), 0)
    stage <- list(name = as.character(frame$name[s]), weights = weights[!is.na(weights)])
    stage[[rule]] <- frame$value[s]
    stage
  })
}

as.data.frame.fourfifths_staged_study <- function(x, row.names = NULL, optional = FALSE, ...) {
  rows <- x$rows
  if (!is.null(row.names)) rownames(rows) <- row.names
  rows
}

print.fourfifths_staged_study <- function(x, ...) {
  cat(staged_summary(x))
  invisible(x)
}

# A table of the groups after each stage of one selection.
stage_tables <- function(rows, stages) {
  out <- character()
  groups <- levels(rows$group)
  width <- max(nchar(groups), 5)
  for (s in unique(rows$stage)) {
    at <- rows[rows$stage == s, , drop = FALSE]
    rule <- switch(at$rule[1], entrants = sprintf("passes %s of its entrants", fixed(at$value[1])),
                   cumulative = sprintf("keeps %s of all applicants", fixed(at$value[1])),
                   cutoff = sprintf("given cut-off %s", fixed(at$value[1])))
    cutoff <- if (!is.finite(at$cutoff[1])) "none (passes everyone)" else fixed(at$cutoff[1])
    out <- c(out, "", sprintf("Stage %d '%s' (%s): cut-off %s; %s of its entrants pass, %s of all applicants still in",
                              s, at$name[1], rule, cutoff, fixed(at$all_pass[1]), fixed(at$all_still_in[1])))
    columns <- c("pass", "still_in", "ai", "ai_highest", "ai_cumulative", "ai_cumulative_highest")
    cells <- vapply(at[columns], function(v) formatC(fixed(v), width = 8), character(nrow(at)))
    cells <- matrix(cells, nrow = nrow(at))
    out <- c(out, paste(formatC("GROUP", width = -width),
                        paste(formatC(c("PASS", "STILL IN", "AI", "AI HIGH", "CUM AI", "CUM HIGH"), width = 8),
                              collapse = " ")),
             paste0(formatC(as.character(at$group), width = -width), " ", apply(cells, 1, paste, collapse = " "),
                    ifelse(!is.na(at$ai_cumulative_highest) & at$ai_cumulative_highest < 0.8,
                           "  cumulative AI below four-fifths", "")))
  }
  out
}

# The short account print() gives: the design, the tables of the staged
# selection, the quality beside the single stage, and the single stage's
# table.
staged_summary <- function(x) {
  p <- x$problem
  rows <- x$rows
  staged <- rows[rows$selection == "staged", , drop = FALSE]
  single <- rows[rows$selection == "single", , drop = FALSE]
  k <- nrow(x$stages)
  head <- c(sprintf("Staged selection of %d groups through %s, overall selection ratio %s",
                    length(p$group_names), plural(k, "stage"), fixed(staged$all_still_in[nrow(staged)])),
            sprintf("AI: against the reference group (%s) and the highest group (HIGH), at the stage and cumulatively (CUM)",
                    p$group_names[1]))
  q <- x$quality
  groups <- c(p$group_names, "all")
  width <- max(nchar(groups), 5)
  quality <- c("", sprintf("Mean quality of the finally selected (%s, reference-group SDs):",
                           if (p$quality == "criterion") "criterion composite" else "last stage's composite"),
               paste(formatC("GROUP", width = -width), formatC("STAGED", width = 8),
                     formatC("SINGLE STAGE", width = 13)),
               paste(formatC(groups, width = -width),
                     formatC(fixed(q$quality[q$selection == "staged"]), width = 8),
                     formatC(fixed(q$quality[q$selection == "single"]), width = 13)))
  paste0(c(head, stage_tables(staged), quality, "",
           sprintf("Single stage on the composite of '%s' at the same overall selection ratio:",
                   x$stages$name[k]),
           stage_tables(single)[-1]), "\n", collapse = "")
}

# Samples: adverse impact observed in one selection from its counts, and
# what samples of a planned size will show when the population's selection
# ratios are those of a study. Both are the library's computations; R checks
# the arguments' types and shapes and names the groups.

observed_impact <- function(applicants, selected, reference = NULL, alpha = 0.05,
                            interval = c("adjusted_log", "katz")) {
  if (is.data.frame(applicants)) {
    frame <- applicants
    if (!missing(selected))
      bad_argument("with a data frame of counts leave out `selected`: it is the frame's column")
    if (!all(c("group", "applicants", "selected") %in% names(frame)))
      bad_argument("a data frame of counts needs the columns group, applicants and selected")
    groups <- as.character(frame$group)
    applicants <- frame$applicants
    selected <- frame$selected
  } else {
    if (missing(selected)) bad_argument("give each group's `selected` beside its `applicants`")
    groups <- names(applicants)
    if (is.null(groups)) groups <- names(selected)
    if (is.null(groups))
      bad_argument("name the groups: `applicants` (or `selected`) must be a named vector")
    if (!is.null(names(selected)) && !is.null(names(applicants))) {
      if (!setequal(names(selected), groups) || anyDuplicated(names(selected)))
        bad_argument("the names of `selected` (%s) must be those of `applicants` (%s)",
                     listed(names(selected)), listed(groups))
      selected <- selected[groups]
    }
  }
  check_numbers(applicants, NULL, "applicants", "a numeric vector of counts")
  check_numbers(selected, length(applicants), "selected",
                sprintf("a numeric vector of %d counts (one per group)", length(applicants)))
  if (anyNA(groups)) bad_argument("the groups' names must not be NA")
  highest <- is.null(reference) || identical(reference, "highest")
  if (highest) reference <- ""
  else if (!is.character(reference) || length(reference) != 1L || is.na(reference) || !nzchar(reference))
    bad_argument("`reference` must be NULL (the highest selection rate) or one group's name")
  if (!is_number(alpha)) bad_argument("`alpha` must be one number strictly between 0 and 1")
  interval <- one_of(interval, c("adjusted_log", "katz"), "interval")
  result <- observed_counts(groups, as.double(applicants), as.double(selected), reference,
                            as.double(alpha), interval == "katz")
  if (length(result$messages)) invalid_problem(result$messages)
  structure(list(groups = result$groups, reference = groups[result$reference],
                 highest = highest, pooled_rate = result$pooled_rate, alpha = alpha,
                 interval = interval),
            class = "fourfifths_observed")
}

as.data.frame.fourfifths_observed <- function(x, row.names = NULL, optional = FALSE, ...) {
  rows <- x$groups
  if (!is.null(row.names)) rownames(rows) <- row.names
  rows
}

print.fourfifths_observed <- function(x, ...) {
  g <- x$groups
  width <- max(nchar(g$group), 5)
  interval <- if (x$interval == "katz") "log (Katz)" else "adjusted log"
  p <- function(v) ifelse(is.na(v), "", formatC(v, format = "f", digits = 4))
  number <- function(v, digits = 3) ifelse(is.na(v), "", formatC(v, format = "f", digits = digits))
  cells <- cbind(formatC(g$applicants, format = "d", big.mark = ""), formatC(g$selected, format = "d"),
                 number(g$rate), number(g$impact_ratio), ifelse(g$meets, "yes", "no"),
                 number(g$z_difference), p(g$p_difference), number(g$z_log_ratio), p(g$p_log_ratio),
                 p(g$fisher_one_sided), p(g$mid_p_one_sided),
                 ifelse(is.na(g$interval_lower), "", sprintf("%s-%s", number(g$interval_lower),
                                                             number(g$interval_upper))),
                 number(g$shortfall, 1), ifelse(g$flip_flop, "yes", "no"))
  cells[g$reference, c(6:12, 14)] <- ""
  heads <- c("APPL", "SEL", "RATE", "IR", "4/5", "Z_D", "P", "Z_IR", "P", "FISHER", "MID-P",
             "INTERVAL", "SHORT", "FLIP")
  widths <- pmax(nchar(heads), apply(nchar(cells), 2, max))
  line <- function(first, values) paste(formatC(first, width = -width),
                                        paste(mapply(formatC, values, width = widths), collapse = " "))
  cat(sprintf("Observed adverse impact of %d groups against %s (%s), pooled selection rate %s\n",
              nrow(g), x$reference, if (x$highest) "the highest selection rate" else "named",
              number(x$pooled_rate)),
      sprintf("Tests at alpha %s (Z two-sided, Fisher and mid-P one-sided); %s interval at %g%%\n",
              format(x$alpha), interval, 100 * (1 - x$alpha)),
      line("GROUP", heads), "\n",
      paste0(vapply(seq_len(nrow(g)), function(i) line(g$group[i], cells[i, ]), ""), "\n"), sep = "")
  invisible(x)
}

# The groups' selection probabilities at one ratio of a study, and their
# shares of its pool (NULL in the reference basis).
plan_of_study <- function(x, sr, group) {
  if (!is_number(sr) || !(sr > 0 && sr < 1))
    bad_argument("`sr` must be one selection ratio strictly between 0 and 1 (10%% is 0.10)")
  if (inherits(x, "fourfifths_study")) {
    if (!is.null(group)) bad_argument("`group` belongs to a study of several groups")
    problem <- x$problem
    problem$requested_ratios <- as.double(sr)
    row <- analysis(problem, x$names, numeric())$rows
    row <- row[row$kind == "requested", , drop = FALSE]
    if (row$status != "ok") invalid_problem(sprintf("no selection at SR %s (%s)", format(sr), row$status))
    overall <- problem$basis == "overall"
    return(list(names = c("majority", "minority"), probabilities = c(row$sra, row$sri),
                shares = if (overall) c(problem$applicant_ratio, 1), groups = 2L))
  }
  problem <- x$problem
  groups <- problem$group_names
  if (is.null(group)) group <- groups[2]
  if (!is.character(group) || length(group) != 1L || !(group %in% groups[-1]))
    bad_argument("`group` must name one of the further groups (%s)", listed(groups[-1]))
  problem$requested_ratios <- as.double(sr)
  rows <- group_analysis(problem, numeric())$rows
  row <- rows[rows$kind == "requested" & rows$group == group, , drop = FALSE]
  if (row$status != "ok") invalid_problem(sprintf("no selection at SR %s (%s)", format(sr), row$status))
  overall <- problem$basis == "overall"
  at <- match(c(groups[1], group), groups)
  every <- rows[rows$kind == "requested", , drop = FALSE]
  list(names = groups[at], probabilities = c(row$reference_sr, row$group_sr),
       shares = if (overall) problem$shares[at] / sum(problem$shares), groups = length(groups),
       all_names = groups, all_probabilities = every$group_sr[match(groups, every$group)],
       all_shares = if (overall) problem$shares / sum(problem$shares))
}

# The groups' selection probabilities given directly: two (the reference
# group's and the group's) or more (the reference group's first).
plan_of_probabilities <- function(x, group) {
  if (!is.numeric(x) || length(x) < 2L || anyNA(x) || !all(x >= 0 & x <= 1))
    bad_argument(paste("`x` must be a study (selection_study()) or the selection probabilities of",
                       "the reference group and the further groups, numbers from 0 to 1"))
  k <- length(x)
  names <- names(x)
  if (is.null(names)) names <- if (k == 2L) c("reference", "group") else c("reference", paste("group", seq_len(k - 1L)))
  if (any(!nzchar(names)) || anyDuplicated(names))
    bad_argument("the selection probabilities' names must be distinct and not empty")
  if (k == 2L) {
    if (!is.null(group)) bad_argument("`group` belongs to several groups")
    return(list(names = names, probabilities = as.double(x), shares = NULL, groups = 2L))
  }
  if (is.null(group)) group <- names[2]
  if (!is.character(group) || length(group) != 1L || !(group %in% names[-1]))
    bad_argument("`group` must name one of the further groups (%s)", listed(names[-1]))
  at <- match(c(names[1], group), names)
  list(names = names[at], probabilities = as.double(x[at]), shares = NULL, groups = k,
       all_names = names, all_probabilities = as.double(x), all_shares = NULL)
}

sample_impact <- function(x, applicants, sr = NULL, group = NULL, alpha = 0.05) {
  if (inherits(x, c("fourfifths_study", "fourfifths_group_study"))) {
    if (is.null(sr)) bad_argument("with a study give `sr`, the selection ratio of its basis")
    plan <- plan_of_study(x, sr, group)
  } else {
    if (!is.null(sr)) bad_argument("`sr` goes with a study; with probabilities give them alone")
    plan <- plan_of_probabilities(x, group)
  }
  if (is.data.frame(applicants)) applicants <- as.matrix(applicants)
  # Every group's applicants per plan, when known (counts of every group, or
  # a pool split in the study's shares): the whole plan's chances need them.
  every <- NULL
  if (is.matrix(applicants)) {
    columns <- if (plan$groups > 2L) "two columns (the reference group's and the group's) or one per group"
               else "two columns, the reference group's and the group's counts"
    if (!is.numeric(applicants) || anyNA(applicants) || !(ncol(applicants) %in% c(2L, plan$groups)))
      bad_argument("a matrix of `applicants` has %s", columns)
    if (ncol(applicants) == 2L || plan$groups == 2L) {
      counts <- applicants
    } else {
      every <- applicants
      counts <- applicants[, match(plan$names, plan$all_names), drop = FALSE]
    }
    pool <- unname(rowSums(applicants))
  } else {
    check_numbers(applicants, NULL, "applicants",
                  "a numeric vector of numbers of applicants, or a matrix of counts")
    if (is.null(plan$shares))
      bad_argument(paste("without the groups' shares (the reference basis, or probabilities given)",
                         "`applicants` must be a matrix of counts"))
    pool <- as.double(applicants)
    group_count <- round(pool * plan$shares[2] / if (plan$groups == 2L) sum(plan$shares) else 1)
    reference_count <- if (plan$groups == 2L) pool - group_count else round(pool * plan$shares[1])
    counts <- cbind(reference_count, group_count)
    few <- which(counts[, 1] < 1 | counts[, 2] < 1)
    if (length(few))
      bad_argument("a pool of %s applicants leaves no applicant of %s in its share",
                   format(pool[few[1]]), plan$names[1 + (counts[few[1], 2] < 1)])
    if (plan$groups > 2L) every <- t(vapply(pool, function(n) pmax(1, round(n * plan$all_shares)),
                                            numeric(plan$groups)))
  }
  if (!is_number(alpha)) bad_argument("`alpha` must be one number strictly between 0 and 1")
  values <- vector("list", nrow(counts))
  ratios <- vector("list", nrow(counts))
  for (i in seq_len(nrow(counts))) {
    result <- sample_plan(counts[i, 1], counts[i, 2], plan$probabilities[1], plan$probabilities[2],
                          as.double(alpha))
    if (length(result$messages))
      invalid_problem(sprintf("plan %d (%s applicants: %s %s, %s %s): %s", i, format(pool[i]),
                              plan$names[1], format(counts[i, 1]), plan$names[2], format(counts[i, 2]),
                              result$messages))
    values[[i]] <- result$values
    ratios[[i]] <- cbind(applicants = pool[i], result$ratios)
  }
  # With three or more groups and every group's applicants known, the whole
  # plan's chance that some group is flagged, and the same at parity.
  any <- NULL
  if (!is.null(every)) {
    joint <- lapply(seq_along(pool), function(i) {
      result <- sample_plan_groups(plan$all_names, as.double(every[i, ]), plan$all_probabilities,
                                   as.double(alpha))
      if (length(result$messages))
        invalid_problem(sprintf("plan %d (%s applicants): %s", i, format(pool[i]), result$messages[1]))
      c(applicants = pool[i], result$any, stats::setNames(result$at_parity, paste0(names(result$at_parity),
                                                                                     "_at_parity")))
    })
    any <- as.data.frame(do.call(rbind, joint))
  }
  plans <- data.frame(applicants = pool, reference_applicants = unname(counts[, 1]),
                      group_applicants = unname(counts[, 2]),
                      reference_probability = plan$probabilities[1],
                      group_probability = plan$probabilities[2], do.call(rbind, values))
  structure(list(plans = plans, ratios = do.call(rbind, ratios), reference = plan$names[1],
                 group = plan$names[2], sr = sr, alpha = alpha, any = any),
            class = "fourfifths_sample_impact")
}

as.data.frame.fourfifths_sample_impact <- function(x, row.names = NULL, optional = FALSE, ...) {
  rows <- x$plans
  if (!is.null(row.names)) rownames(rows) <- row.names
  rows
}

print.fourfifths_sample_impact <- function(x, ...) {
  p <- x$plans
  cat(sprintf("Samples of %s against %s%s: selection probabilities %s and %s\n", x$group, x$reference,
              if (is.null(x$sr)) "" else sprintf(" at SR %s", format(x$sr)),
              fixed(p$group_probability[1]), fixed(p$reference_probability[1])),
      sprintf("Each applicant selected independently; tests significant at alpha %s\n", format(x$alpha)),
      sep = "")
  shown <- data.frame(applicants = p$applicants, reference = p$reference_applicants,
                      group = p$group_applicants, violation = fixed(p$p_violation),
                      flip_flop = fixed(p$p_flip_flop), z_d = fixed(p$p_z_difference),
                      z_ir = fixed(p$p_z_log_ratio), fisher = fixed(p$p_fisher_one_sided),
                      mid_p = fixed(p$p_mid_p_one_sided), shortfall = sprintf("%.2f", p$expected_shortfall))
  names(shown) <- c("APPLICANTS", toupper(x$reference), toupper(x$group), "P(<4/5)", "FLIP", "Z_D",
                    "Z_IR", "FISHER", "MID-P", "SHORTFALL")
  print(shown, row.names = FALSE, right = TRUE)
  if (!is.null(x$any)) {
    cat("Any of the further groups (and at parity: every group at the reference group's probability)\n")
    a <- x$any
    joint <- data.frame(APPLICANTS = a$applicants, "P(<4/5)" = fixed(a$p_violation),
                        FISHER = fixed(a$p_fisher_one_sided), "P(<4/5) PARITY" = fixed(a$p_violation_at_parity),
                        "FISHER PARITY" = fixed(a$p_fisher_one_sided_at_parity), check.names = FALSE)
    print(joint, row.names = FALSE, right = TRUE)
  }
  invisible(x)
}

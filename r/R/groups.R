# Studies of several groups in one applicant pool: d as a matrix with one
# named row per group (the reference group first, its row zero), the shares
# as a vector, and the library's GroupProblem built from them. Checked before
# any computation as the two-group problem is.

# A problem of several groups as the library takes it: the fields of
# fourfifths::GroupProblem.
as_group_problem <- function(R, d, weights, n_predictors, criterion_weights, basis, shares,
                             quality, sr, pool) {
  pool <- one_of(pool, c("joint", "pairwise"), "pool")
  m <- checked_matrix(R, n_predictors)
  if (!is.numeric(d) || nrow(d) < 2L || ncol(d) != m$n || anyNA(d))
    bad_argument(paste("`d` must be a numeric matrix without NA of one row per group (the reference",
                       "group first, then at least one further group) and %d columns (one per row of `R`)"),
                 m$n)
  if (!all(is.finite(d)))
    bad_argument("`d` must hold finite numbers")
  groups <- rownames(d)
  if (is.null(groups) || anyNA(groups) || any(groups == "") || anyDuplicated(groups))
    bad_argument("the rows of `d` must be named by their groups, each name once and not empty: %s",
                 if (is.null(groups)) "it has no row names" else listed(groups))
  if (!is.null(colnames(d)) && !is.null(m$names)) {
    given <- colnames(d)
    if (anyDuplicated(given) || !setequal(given, m$names))
      bad_argument("the column names of `d` (%s) must be those of the variables in the dimnames of `R` (%s)",
                   listed(given), listed(m$names))
    d <- d[, m$names, drop = FALSE]
  }
  w <- checked_weights(m, weights, criterion_weights, quality, sr)
  if (basis == "overall") {
    if (is.null(shares))
      bad_argument("the overall basis needs the groups' `shares` of the applicant pool (or their counts)")
    check_numbers(shares, nrow(d), "shares",
                  sprintf("a numeric vector of %d shares or counts (one per row of `d`)", nrow(d)))
    if (!is.null(names(shares))) {
      if (anyDuplicated(names(shares)) || !setequal(names(shares), groups))
        bad_argument("the names of `shares` (%s) must be those of the groups, the row names of `d` (%s)",
                     listed(names(shares)), listed(groups))
      shares <- shares[groups]
    }
    if (!all(shares[-1] > 0) || shares[1] < 0)
      bad_argument("`shares` must be positive (the reference group's may be 0): %s", listed(shares))
  } else if (!is.null(shares)) {
    bad_argument("`shares` belong to the overall basis only")
  }
  effects <- lapply(seq_len(nrow(d)), function(g) as.double(d[g, ]))
  problem <- c(list(
    predictor_names = if (is.null(m$names)) character() else m$names[seq_len(m$np)],
    criterion_names = if (is.null(m$names)) character() else m$names[-seq_len(m$np)],
    predictors = m$np, criteria = m$nc, basis = basis, pool = pool,
    correlations = m$correlations, group_names = groups,
    shares = if (is.null(shares)) numeric() else as.double(shares),
    predictor_effects = lapply(effects, `[`, seq_len(m$np)),
    criterion_effects = lapply(effects, `[`, m$np + seq_len(m$nc))), w)
  # The library's check of the correlations, on the pair of the reference
  # group and the first further group (the correlations are every pair's).
  pair <- c(problem[c("predictors", "criteria", "basis", "correlations")], applicant_ratio = 1,
            w, predictor_effects = list(problem$predictor_effects[[2]]),
            criterion_effects = list(problem$criterion_effects[[2]]))
  checked_correlations(pair)
  problem
}

# The study of a checked problem of several groups.
group_analysis <- function(problem, sweep) {
  sweep <- checked_sweep(sweep)
  result <- analyse_group_problem(problem, sweep)
  if (length(result$messages)) invalid_problem(result$messages)
  weights <- result$weights
  if (length(problem$predictor_names)) names(weights) <- problem$predictor_names
  pool_boundary <- result$pool_boundary
  names(pool_boundary)[names(pool_boundary) == "lower"] <- "group"
  structure(list(problem = problem, weights = weights, validity = result$validity,
                 effects = result$effects,
                 boundaries = cbind(group = problem$group_names, result$boundaries),
                 pool_boundary = pool_boundary, pool = result$pool, rows = result$rows),
            class = "fourfifths_group_study")
}

as.data.frame.fourfifths_group_study <- function(x, row.names = NULL, optional = FALSE, ...) {
  rows <- x$rows
  if (!is.null(row.names)) rownames(rows) <- row.names
  rows
}

print.fourfifths_group_study <- function(x, ...) {
  cat(group_summary(x))
  invisible(x)
}

# A boundary's state in words.
boundary_words <- function(b, overall) {
  switch(b$state,
         found = sprintf("%s %s", if (overall) "SR" else "reference SR",
                         # A boundary at a ratio that rounds to 0.000 shows its digits.
                         if (b$sr < 0.0005) formatC(b$sr, digits = 2, format = "g") else fixed(b$sr)),
         never_below = "never below four-fifths (no adverse impact to bound)",
         met_in_range = "met at every cut-off in [-8, 8] (any boundary lies below a resolvable ratio)",
         none_in_range = "none in the cut-off range [-8, 8]",
         not_applicable = "not applicable")
}

# The short account print() gives: the problem, the weights, the composites
# per group, the boundaries and the requested rows per group.
group_summary <- function(x) {
  p <- x$problem
  overall <- p$basis == "overall"
  groups <- p$group_names
  criteria <- if (p$criteria == 1) "criterion" else "criteria"
  head <- sprintf("Selection study: %s, %d %s, %d groups in a %s pool, per %s selection ratio",
                  plural(p$predictors, "predictor"), p$criteria, criteria, length(groups), p$pool,
                  if (overall) "overall" else "reference group's")
  head <- c(head, sprintf("Groups: %s (reference)%s", groups[1],
                          paste0(", ", groups[-1], collapse = "")))
  if (overall)
    head <- c(head, sprintf("Shares of the applicant pool: %s",
                            paste(groups, fixed(p$shares / sum(p$shares)), collapse = ", ")))
  w <- x$weights
  shown <- if (is.null(names(w))) fixed(w) else paste(names(w), fixed(w))
  weights <- sprintf("Predictor weights%s: %s", if (p$regression_weights) " (regression)" else "",
                     paste(shown, collapse = ", "))
  e <- x$effects[-1, ]
  composites <- sprintf("Composites: validity rxy %s; effect sizes %s", fixed(x$validity),
                        paste(sprintf("%s dx %s, dy %s", e$group, fixed(e$dx), fixed(e$dy)),
                              collapse = "; "))
  b <- x$boundaries
  shown <- b$state != "not_applicable"
  boundaries <- vapply(which(shown), function(i) {
    words <- boundary_words(b[i, ], overall)
    if (b$state[i] == "found" && b$lower[i] != b$group[i]) words <- paste0(words, " (", b$lower[i], " lower)")
    sprintf("  %s: %s", b$group[i], words)
  }, character(1))
  pb <- x$pool_boundary
  pool <- sprintf("Four-fifths boundary of the pool (every group meets the rule): %s%s",
                  boundary_words(pb, overall),
                  if (pb$state %in% c("found", "none_in_range") && !is.na(pb$group))
                    sprintf(", binding group %s", pb$group) else "")
  rows <- x$rows[x$rows$kind == "requested", , drop = FALSE]
  quality <- sprintf("Requested ratios per group (mean quality on the %s composite):", p$quality)
  table <- if (nrow(rows) == 0) "  none"
           else {
             columns <- c("sr", "group_sr", "reference_sr", "ai", "ai_highest", "quality")
             cells <- vapply(rows[columns], function(v) formatC(fixed(v), width = 9), character(nrow(rows)))
             cells <- matrix(cells, nrow = nrow(rows))
             width <- max(nchar(groups), 5)
             meets <- ifelse(is.na(rows$meets), "   ", ifelse(rows$meets, "yes", " no"))
             notes <- ifelse(rows$status == "ok", "", paste0("  ", rows$status))
             c(paste(formatC("GROUP", width = -width), paste(formatC(
                 c("SR", "GROUP SR", "REF SR", "AI", "AI HIGH", "QUALITY"), width = 9), collapse = " "),
                 "MEETS"),
               paste0(formatC(as.character(rows$group), width = -width), " ",
                      apply(cells, 1, paste, collapse = " "), "   ", meets, notes))
           }
  paste0(c(head, weights, composites, "Four-fifths boundaries (against the highest selection ratio):",
           boundaries, pool, quality, table), "\n", collapse = "")
}

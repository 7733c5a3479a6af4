# Observed impact and the samples a plan will show, against computations
# made here with R's own tests and distributions: prop.test, fisher.test,
# phyper and dhyper, the interval formulas written out, and the sampling
# distribution enumerated with dbinom.

# The values of one group against the reference group, computed from counts.
by_hand <- function(ng, sg, nr, sr, alpha, pooled_all) {
  rate_g <- sg / ng
  rate_r <- sr / nr
  P <- (sg + sr) / (ng + nr)
  q <- ng / (ng + nr)
  table <- matrix(c(sg, ng - sg, sr, nr - sr), 2)
  support <- max(0, sg + sr - nr):min(ng, sg + sr)
  density <- dhyper(support, sg + sr, ng + nr - sg - sr, ng)
  observed <- dhyper(sg, sg + sr, ng + nr - sg - sr, ng)
  tied <- abs(density - observed) <= 1e-7 * observed
  z <- qnorm(1 - alpha / 2)
  adjusted <- c(sg, ng, sr, nr) + 0.5
  log_ratio <- log(adjusted[1] / adjusted[2] / (adjusted[3] / adjusted[4]))
  se <- sqrt(1 / adjusted[1] - 1 / adjusted[2] + 1 / adjusted[3] - 1 / adjusted[4])
  c(impact_ratio = rate_g / rate_r,
    p_difference = suppressWarnings(prop.test(c(sg, sr), c(ng, nr), correct = FALSE))$p.value,
    z_log_ratio = log(rate_g / rate_r) / sqrt((1 - P) / (P * (ng + nr) * q * (1 - q))),
    fisher_one_sided = fisher.test(table, alternative = "less")$p.value,
    fisher_two_sided = fisher.test(table)$p.value,
    mid_p_one_sided = phyper(sg - 1, sg + sr, ng + nr - sg - sr, ng) + observed / 2,
    mid_p_two_sided = fisher.test(table)$p.value - sum(density[tied]) / 2,
    interval_lower = exp(log_ratio - z * se), interval_upper = exp(log_ratio + z * se),
    shortfall = ng * pooled_all - sg,
    ratio_one_more = (sg + 1) / ng / rate_r)
}

test_that("observed impact: rates, tests, intervals and shortfalls are those computed from the counts", {
  cases <- list(
    list(counts = data.frame(group = c("White", "Black"), applicants = c(48, 20), selected = c(24, 5)),
         reference = NULL, alpha = 0.05),
    list(counts = data.frame(group = c("A", "B", "C"), applicants = c(100, 60, 15), selected = c(30, 10, 6)),
         reference = "A", alpha = 0.10),
    list(counts = data.frame(group = c("men", "women"), applicants = c(35, 25), selected = c(12, 5)),
         reference = NULL, alpha = 0.01))
  for (case in cases) {
    result <- observed_impact(case$counts, reference = case$reference, alpha = case$alpha)
    g <- result$groups
    counts <- case$counts
    rates <- counts$selected / counts$applicants
    ref <- if (is.null(case$reference)) which.max(rates) else match(case$reference, counts$group)
    expect_identical(g$reference, seq_along(rates) == ref)
    pooled <- sum(counts$selected) / sum(counts$applicants)
    for (i in seq_along(rates)[-ref]) {
      expected <- by_hand(counts$applicants[i], counts$selected[i], counts$applicants[ref],
                          counts$selected[ref], case$alpha, pooled)
      expect_equal(unlist(g[i, names(expected)]), expected, tolerance = 1e-9, label = counts$group[i])
      expect_identical(g$meets[i], expected[["impact_ratio"]] >= 0.8)
    }
  }
  katz <- observed_impact(c(White = 48, Black = 20), c(White = 24, Black = 5), interval = "katz")$groups[2, ]
  se <- sqrt(1 / 5 - 1 / 20 + 1 / 24 - 1 / 48)
  expect_equal(c(katz$interval_lower, katz$interval_upper), 0.5 * exp(c(-1, 1) * qnorm(0.975) * se),
               tolerance = 1e-12)
})

test_that("counts that cannot be are refused", {
  cases <- list(
    list(c(a = 10, b = 5), c(a = 11, b = 1), "fourfifths_invalid_problem"),
    list(c(a = 10, b = 5), c(a = 2.5, b = 1), "fourfifths_invalid_problem"),
    list(c(a = 10, b = 0), c(a = 2, b = 0), "fourfifths_invalid_problem"),
    list(c(a = 10, b = 5), c(a = -1, b = 1), "fourfifths_invalid_problem"),
    list(c(10, 5), c(2, 1), "fourfifths_bad_argument"),
    list(c(a = 10, b = 5), c(a = 2, b = NA), "fourfifths_bad_argument"))
  for (case in cases)
    expect_error(observed_impact(case[[1]], case[[2]]), class = case[[3]])
  expect_error(observed_impact(c(a = 10, b = 5), c(a = 2, b = 1), reference = "c"), "c",
               class = "fourfifths_invalid_problem")
})

# What samples of nr and ng applicants show, enumerated: the two groups'
# selected counts independent binomials.
enumerated <- function(nr, ng, pr, pg, alpha) {
  grid <- expand.grid(x = 0:nr, y = 0:ng)
  weight <- dbinom(grid$x, nr, pr) * dbinom(grid$y, ng, pg)
  # Below four-fifths, in whole numbers: y / ng < 0.8 x / nr.
  violation <- grid$x > 0 & 5 * grid$y * nr < 4 * grid$x * ng
  fisher <- phyper(grid$y, grid$x + grid$y, nr + ng - grid$x - grid$y, ng) <= alpha
  c(p_violation = sum(weight[violation]), p_no_ratio = dbinom(0, nr, pr),
    p_fisher_one_sided = sum(weight[fisher]),
    expected_shortfall = ng * (nr * pr + ng * pg) / (nr + ng) - ng * pg)
}

test_that("the distribution of what samples show is the enumeration of the two binomials", {
  study <- selection_study(diag(2), c(-1, 0), c(1, 1), 2, applicant_ratio = 4)
  # The selection model at SR 0.3: composite effect size -1/sqrt(2).
  dx <- -1 / sqrt(2)
  cut <- uniroot(function(x) 0.8 * pnorm(x, lower.tail = FALSE) + 0.2 * pnorm(x - dx, lower.tail = FALSE) - 0.3,
                 c(-8, 8), tol = 1e-12)$root
  p <- c(pnorm(cut, lower.tail = FALSE), pnorm(cut - dx, lower.tail = FALSE))
  samples <- sample_impact(study, c(20, 40, 125), sr = 0.3)
  plans <- samples$plans
  expect_identical(plans$reference_applicants, c(16, 32, 100))
  expect_identical(plans$group_applicants, c(4, 8, 25))
  expect_equal(plans$reference_probability, rep(p[1], 3), tolerance = 1e-3)
  expect_equal(plans$group_probability, rep(p[2], 3), tolerance = 1e-3)
  cases <- list(list(study = samples, at = 1:3),
                list(study = sample_impact(c(White = 0.3, Black = 0.2), cbind(32, 8), alpha = 0.1), at = 1),
                list(study = sample_impact(c(0.5, 0.5), cbind(c(7, 60), c(3, 40))), at = 1:2))
  for (case in cases) {
    plans <- case$study$plans
    for (i in case$at) {
      expected <- enumerated(plans$reference_applicants[i], plans$group_applicants[i],
                             plans$reference_probability[i], plans$group_probability[i], case$study$alpha)
      expect_equal(unlist(plans[i, names(expected)]), expected, tolerance = 1e-10)
      ratios <- case$study$ratios[case$study$ratios$applicants == plans$applicants[i], ]
      expect_equal(sum(ratios$probability), 1 - expected[["p_no_ratio"]], tolerance = 1e-12)
    }
  }
  d <- rbind(White = c(0, 0, 0), Black = c(-1, -0.2, -0.5), Hispanic = c(-0.6, -0.1, -0.3))
  groups <- selection_study(matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3), d, c(1, 0.5), 2,
                            shares = c(White = 60, Black = 25, Hispanic = 15))
  several <- sample_impact(groups, 100, sr = 0.2, group = "Hispanic")
  expect_identical(c(several$reference, several$group), c("White", "Hispanic"))
  expect_identical(unlist(several$plans[c("reference_applicants", "group_applicants")]),
                   c(reference_applicants = 60, group_applicants = 15))
})

test_that("with several groups the chance that some group shows a violation is the joint enumeration", {
  d <- rbind(White = c(0, 0, 0), Black = c(-1, -0.2, -0.5), Hispanic = c(-0.6, -0.1, -0.3))
  groups <- selection_study(matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3), d, c(1, 0.5), 2,
                            shares = c(White = 60, Black = 25, Hispanic = 15))
  several <- sample_impact(groups, c(12, 20), sr = 0.2)
  expect_identical(several$any$applicants, c(12, 20))
  # Every combination of the three groups' selected counts, the rule judged in
  # whole numbers (5 x m >= 4 y n; no ratio with no one of White selected).
  black <- sample_impact(groups, c(12, 20), sr = 0.2, group = "Black")$plans
  hispanic <- sample_impact(groups, c(12, 20), sr = 0.2, group = "Hispanic")$plans
  for (i in 1:2) {
    n <- c(black$reference_applicants[i], black$group_applicants[i], hispanic$group_applicants[i])
    p <- c(black$reference_probability[i], black$group_probability[i], hispanic$group_probability[i])
    violation <- function(p) {
      total <- 0
      for (y in 0:n[1]) for (b in 0:n[2]) for (h in 0:n[3]) {
        flagged <- y > 0 && (5 * b * n[1] < 4 * y * n[2] || 5 * h * n[1] < 4 * y * n[3])
        if (flagged) total <- total + dbinom(y, n[1], p[1]) * dbinom(b, n[2], p[2]) * dbinom(h, n[3], p[3])
      }
      total
    }
    expect_equal(several$any$p_violation[i], violation(p), tolerance = 1e-12)
    expect_equal(several$any$p_violation_at_parity[i], violation(rep(p[1], 3)), tolerance = 1e-12)
    # The same plan from the probabilities and every group's counts.
    direct <- sample_impact(c(White = p[1], Black = p[2], Hispanic = p[3]), rbind(n), group = "Hispanic")
    expect_equal(direct$any$p_violation, violation(p), tolerance = 1e-12)
    expect_identical(unname(unlist(direct$plans[c("reference_applicants", "group_applicants")])), n[c(1, 3)])
  }
  expect_null(sample_impact(groups, cbind(30, 10), sr = 0.2)$any)  # counts of two groups only
})

test_that("plans are checked before any enumeration", {
  study <- selection_study(diag(2), c(-1, 0), c(1, 1), 2, applicant_ratio = 4)
  majority <- selection_study(diag(2), c(-1, 0), c(1, 1), 2, basis = "majority")
  cases <- list(
    list(list(study, 40), "give `sr`", "fourfifths_bad_argument"),
    list(list(study, 40, sr = 1.5), "`sr` must be one selection ratio", "fourfifths_bad_argument"),
    list(list(study, 2, sr = 0.3), "leaves no applicant of minority", "fourfifths_bad_argument"),
    list(list(majority, 40, sr = 0.3), "must be a matrix of counts", "fourfifths_bad_argument"),
    list(list(c(0.3, 1.2), cbind(10, 10)), "`x` must be a study", "fourfifths_bad_argument"),
    list(list(c(0.3, 0.2), cbind(3000, 10)), "plan 1", "fourfifths_invalid_problem"),
    list(list(c(0.3, 0.2), cbind(10, 10), group = "group"), "belongs to several groups", "fourfifths_bad_argument"),
    list(list(c(0.3, 0.2, 0.1), cbind(5, 5, 5, 5)), "or one per group", "fourfifths_bad_argument"),
    list(list(c(a = 0.3, a = 0.2, b = 0.1), cbind(5, 5, 5)), "distinct", "fourfifths_bad_argument"))
  for (case in cases)
    expect_error(do.call(sample_impact, case[[1]]), case[[2]], class = case[[3]])
})

test_that("observed counts and plans agree with fourfifths-study", {
  skip_without_program()
  study_program <- file.path(dirname(program), "fourfifths-study")
  out <- tempfile()
  expect_equal(system2(study_program, c("observed", "--format", "csv", file.path(examples, "observed.csv")),
                       stdout = out), 0)
  lines <- read.csv(out)
  counts <- read.csv(file.path(examples, "observed.csv"))
  g <- observed_impact(counts)$groups
  for (column in c("rate", "impact_ratio", "p_difference", "fisher_two_sided", "interval_lower", "shortfall"))
    expect_equal(g[[column]], lines[[column]], tolerance = 1e-12, label = column)
  expect_equal(system2(study_program, c("planning", "--applicants", "32:8", "--probabilities", "0.3:0.2",
                                        "--format", "csv"), stdout = out), 0)
  plan <- read.csv(out)
  ours <- sample_impact(c(0.3, 0.2), cbind(32, 8))$plans
  for (column in c("p_violation", "p_flip_flop", "p_z_log_ratio", "p_mid_p_two_sided", "expected_shortfall"))
    expect_equal(ours[[column]], plan[[column]], tolerance = 1e-12, label = column)
})

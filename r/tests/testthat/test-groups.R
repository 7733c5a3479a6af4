# Several groups in one applicant pool, against the selection model computed
# here independently: the composite's effect size per group from the weights,
# the joint pool's cut-off by uniroot on sum share_g * P(x_g >= c) = SR,
# each group's ratio from pnorm. The library's cut-off searches stop within a
# relative 0.0001 of the cut-off, so the two agree to a relative 1e-3.

R3 <- matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3,
             dimnames = list(NULL, c("test", "interview", "performance")))
d4 <- rbind(White = c(0, 0, 0), Black = c(-1, -0.2, -0.5), Hispanic = c(-0.6, -0.1, -0.3),
            Asian = c(0.2, -0.1, 0.1))
colnames(d4) <- colnames(R3)
shares4 <- c(White = 60, Black = 15, Hispanic = 15, Asian = 10)
groups_study <- function(...) {
  arguments <- modifyList(list(R = R3, d = d4, weights = c(1, 0.5), n_predictors = 2,
                               shares = shares4), list(...))
  do.call(selection_study, arguments)
}
upper <- function(x, shift = 0) pnorm(x - shift, lower.tail = FALSE)

test_that("the joint pool's ratios, impact ratios and qualities are those of the selection model", {
  study <- groups_study(sr = c(0.15, 0.3))
  w <- c(1, 0.5)
  sxx <- drop(w %*% R3[1:2, 1:2] %*% w)
  rxy <- sum(w * R3[1:2, 3]) / sqrt(sxx)
  dx <- drop(d4[, 1:2] %*% w) / sqrt(sxx)
  p <- shares4 / sum(shares4)
  expect_equal(study$effects$dx, unname(dx), tolerance = 1e-12)
  expect_equal(study$validity, rxy, tolerance = 1e-12)
  rows <- study$rows
  for (sr in c(0.01, 0.15, 0.5, 0.9)) {
    cut <- uniroot(function(x) sum(p * upper(x, dx)) - sr, c(-8, 8), tol = 1e-12)$root
    group_sr <- upper(cut, dx)
    model <- data.frame(group_sr = group_sr, reference_sr = group_sr[[1]],
                        ai = group_sr / group_sr[[1]], ai_highest = group_sr / max(group_sr),
                        quality = d4[, 3] + rxy * dnorm(cut - dx) / group_sr)
    at <- rows[rows$kind == (if (sr == 0.15) "requested" else "builtin") & abs(rows$sr - sr) < 1e-12, ]
    expect_identical(as.character(at$group), rownames(d4))
    expect_equal(at[names(model)], model, tolerance = 1e-3, ignore_attr = TRUE, label = paste("SR", sr))
    expect_identical(at$meets, unname(group_sr / max(group_sr) >= 0.8))
    pool <- study$pool[study$pool$sr == sr, ][1, ]
    expect_equal(pool$quality, sum(p * group_sr * model$quality) / sr, tolerance = 1e-3)
  }
  # The pool's boundary: Black's ratio four-fifths of Asian's, the highest.
  cut <- uniroot(function(x) upper(x, dx[["Black"]]) / upper(x, dx[["Asian"]]) - 0.8, c(-8, 8),
                 tol = 1e-12)$root
  expect_identical(study$pool_boundary[c("state", "group", "against")],
                   data.frame(state = "found", group = "Black", against = "Asian"))
  expect_equal(study$pool_boundary$sr, sum(p * upper(cut, dx)), tolerance = 1e-4)
  expect_identical(study$boundaries$state, c("found", "found", "found", "never_below"))
  expect_output(print(study), "Four-fifths boundary of the pool (every group meets the rule): SR 0.908, binding group Black",
                fixed = TRUE)
})

test_that("two groups give the two-group study exactly, in both bases", {
  two <- d4[1:2, ]
  for (basis in c("overall", "majority")) {
    overall <- basis == "overall"
    classic <- selection_study(R3, two[2, ], c(1, 0.5), 2, basis = basis,
                               applicant_ratio = if (overall) 4, sr = c(0.15, 0.3), sweep = c(0.2, 0.7))
    groups <- selection_study(R3, two, c(1, 0.5), 2, basis = if (overall) "overall" else "reference",
                              shares = if (overall) c(White = 4, Black = 1), sr = c(0.15, 0.3),
                              sweep = c(0.2, 0.7))
    rows <- classic$rows
    reference <- groups$rows[groups$rows$group == "White", ]
    further <- groups$rows[groups$rows$group == "Black", ]
    expect_identical(further$kind, rows$kind)
    expect_identical(further$sr, rows$sr)
    expect_identical(further$group_sr, rows$sri)
    expect_identical(further$reference_sr, rows$sra)
    expect_identical(further$ai, rows$ai)
    expect_identical(further$quality, rows$mi)
    expect_identical(reference$quality, rows$ma)
    expect_identical(groups$pool$quality, rows$m)
    expect_identical(groups$pool_boundary$sr, unname(classic$boundary[["sr"]]))
    expect_identical(groups$effects$dx[2], unname(classic$composites[["dx"]]))
  }
})

test_that("the pairwise pool gives each group its two-group study with the reference group", {
  study <- groups_study(pool = "pairwise", sr = 0.2)
  expect_false("White" %in% study$rows$group)
  for (g in c("Black", "Hispanic", "Asian")) {
    classic <- selection_study(R3, d4[g, ], c(1, 0.5), 2, applicant_ratio = shares4[["White"]] / shares4[[g]],
                               sr = 0.2)
    rows <- study$rows[study$rows$group == g & study$rows$kind != "boundary", ]
    expect_identical(rows$group_sr, classic$rows$sri[classic$rows$kind != "boundary"])
    expect_identical(rows$ai, classic$rows$ai[classic$rows$kind != "boundary"])
  }
  # Asian applicants score higher: in their pair the reference group is the lower.
  asian <- study$boundaries[study$boundaries$group == "Asian", ]
  expect_identical(c(asian$lower, asian$against), c("White", "Asian"))
})

test_that("names match the groups and variables whatever their order", {
  study <- groups_study(sr = 0.2)
  shuffled <- groups_study(d = d4[, c(3, 1, 2)], shares = rev(shares4), sr = 0.2)
  expect_identical(shuffled$rows, study$rows)
  counts <- groups_study(shares = shares4 / 100, sr = 0.2)
  expect_equal(counts$rows, study$rows, tolerance = 1e-14)
  expect_identical(names(study$weights), c("test", "interview"))
})

test_that("arguments of several groups are checked before any computation", {
  unnamed <- d4
  rownames(unnamed) <- NULL
  renamed <- d4
  colnames(renamed)[2] <- "interviews"
  cases <- list(
    list(list(d = unnamed), "the rows of `d` must be named by their groups"),
    list(list(d = d4[1, , drop = FALSE]), "`d` must be a numeric matrix without NA of one row per group"),
    list(list(d = d4[, 1:2]), "and 3 columns"),
    list(list(d = renamed), "the column names of `d` \\(test, interviews, performance\\)"),
    list(list(shares = NULL), "the overall basis needs the groups' `shares`"),
    list(list(shares = shares4[1:3]), "`shares` must be a numeric vector of 4 shares"),
    list(list(shares = c(White = 60, Black = 15, Latino = 15, Asian = 10)), "the names of `shares`"),
    list(list(shares = c(60, -15, 15, 10)), "`shares` must be positive"),
    list(list(basis = "reference"), "`shares` belong to the overall basis only"),
    list(list(applicant_ratio = 4), "`applicant_ratio` and `minority_share` go with a vector `d`"),
    list(list(d = d4[2, ], applicant_ratio = 4), "`shares` go with `d` as a matrix"),
    list(list(pool = "both"), "`pool` must be \"joint\" or \"pairwise\""),
    list(list(basis = "minority"), "`basis` must be \"overall\" or \"majority\" or \"reference\""),
    list(list(sweep = 2), "`sweep` ratios must lie strictly between 0 and 1"))
  for (case in cases)
    expect_error(do.call(groups_study, case[[1]]), case[[2]], class = "fourfifths_bad_argument")
  shifted <- d4
  shifted[1, 1] <- 0.1
  expect_error(groups_study(d = shifted), "The effect sizes of the reference group 'White' must be zero",
               class = "fourfifths_invalid_problem")
})

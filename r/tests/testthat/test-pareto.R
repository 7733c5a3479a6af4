# The published example's most valid end, the four-fifths point, and the
# errors of problems without a front.
example_front <- function(sr = 0.10, ...) {
  R <- matrix(c(1.00, 0.24, 0.00, 0.19, 0.30,
                0.24, 1.00, 0.12, 0.16, 0.30,
                0.00, 0.12, 1.00, 0.51, 0.18,
                0.19, 0.16, 0.51, 1.00, 0.28,
                0.30, 0.30, 0.18, 0.28, 1.00), 5, 5,
              dimnames = list(NULL, c("ability", "interview", "conscientiousness", "biodata",
                                      "performance")))
  pareto_front(R, c(-1.00, -0.23, -0.09, -0.33, 0), n_predictors = 4, applicant_ratio = 3,
               sr = sr, ...)
}

test_that("the example's most valid end is the regression weighting of De Corte et al. (2007)", {
  front <- example_front()
  expect_s3_class(front, "fourfifths_pareto")
  top <- front[front$kind == "max_validity", ]
  expect_equal(top$validity, 0.434, tolerance = 5e-4 / 0.434)
  expect_equal(top$ai, 0.226, tolerance = 5e-4 / 0.226)
  expect_equal(unlist(top[c("ability", "interview", "conscientiousness", "biodata")]),
               c(ability = 0.325, interview = 0.319, conscientiousness = 0.101, biodata = 0.255),
               tolerance = 2e-3)
  expect_equal(sum(front$kind == "four_fifths"), 1)
  expect_equal(front$ai[front$kind == "four_fifths"], 0.8, tolerance = 1e-9)
  expect_true(all(diff(front$ai) > 0))
  expect_true(all(front[c("ability", "interview", "conscientiousness", "biodata")] >= 0))
  expect_match(attr(front, "notes"), "parity")
  free <- example_front(nonnegative = FALSE, points = 5)
  expect_equal(free$ai[free$kind == "min_impact"], 1, tolerance = 1e-9)
  expect_equal(nrow(free), 6)
})

test_that("problems without a front and bad arguments stop with their classes", {
  expect_error(example_front(sr = 1.5), class = "fourfifths_bad_argument")
  expect_error(example_front(points = 1), class = "fourfifths_bad_argument")
  R <- diag(2)
  expect_error(pareto_front(R, c(-1, -0.5), n_predictors = 2, applicant_ratio = 3),
               class = "fourfifths_invalid_problem")
})

test_that("a front plots", {
  path <- tempfile(fileext = ".pdf")
  pdf(path)
  on.exit(dev.off())
  expect_silent(plot(example_front()))
})

test_that("a front fitted in a sample of 150 shrinks as Browne's and Claudy's formulas say", {
  # Recomputed here: the ends are the regression weighting and conscientiousness
  # alone (every effect size negative); validity and the correlation with group
  # membership are shrunk at the end fitted to each and interpolated between.
  n <- 150; k <- 4; pq <- 0.25 * 0.75
  browne <- function(r2) {
    rho2 <- min(r2, max(0, 1 - (n - 4) / (n - k - 1) * (1 - r2) * (1 + 2 * (1 - r2) / (n - k + 1))))
    rho4 <- max(0, rho2^2 - 2 * k * (1 - rho2)^2 / ((n - 1) * (n - k + 1)))
    ((n - k - 3) * rho4 + rho2) / ((n - 2 * k - 2) * rho2 + k)
  }
  membership <- function(d) d * sqrt(pq) / sqrt(1 + d^2 * pq)
  ai_of <- function(d) {
    cut <- uniroot(function(x) 0.75 * pnorm(x, lower.tail = FALSE) +
                     0.25 * pnorm(x - d, lower.tail = FALSE) - 0.10, c(-8, 8), tol = 1e-13)$root
    pnorm(cut - d, lower.tail = FALSE) / pnorm(cut, lower.tail = FALSE)
  }
  front <- example_front(sample_size = n)
  expect_equal(attr(front, "predictors_screened"), 4)
  top <- front[1, ]; far <- front[nrow(front), ]
  top_shrunk <- sqrt(browne(top$validity^2))
  u0 <- membership(top$composite_d); uf <- membership(far$composite_d)
  uf_shrunk <- uf - (abs(uf) - sqrt(browne(uf^2)))
  t <- (front$validity - top$validity) / (far$validity - top$validity)
  expect_equal(front$shrunk_validity, top_shrunk + t * (far$validity - top_shrunk), tolerance = 1e-12)
  u <- uf_shrunk + (membership(front$composite_d) - uf) / (u0 - uf) * (u0 - uf_shrunk)
  expect_equal(front$shrunk_ai, sapply(u / sqrt((1 - u^2) * pq), ai_of), tolerance = 1e-8)
  # The population front is the same, without the shrunk columns or weights of that name.
  plain <- example_front()
  expect_false("shrunk_ai" %in% names(plain))
  expect_equal(unclass(front)[names(plain)], unclass(plain)[names(plain)])
  expect_equal(weight_columns(front), c("ability", "interview", "conscientiousness", "biodata"))
  expect_error(example_front(sample_size = 10), "2K \\+ 3 = 11", class = "fourfifths_invalid_problem")
  expect_error(example_front(sample_size = 150.5), class = "fourfifths_bad_argument")
  expect_error(example_front(predictors_screened = 6), class = "fourfifths_bad_argument")
})

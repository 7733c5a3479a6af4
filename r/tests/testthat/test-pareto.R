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

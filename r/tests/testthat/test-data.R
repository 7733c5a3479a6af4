# The shipped problem holds the published values and gives the published
# front.

test_that("bobko1999 holds the published correlations and effect sizes", {
  # Bobko, Roth & Potosky (1999), as tabled by De Corte, Lievens & Sackett
  # (2007): lower triangle by rows; effect sizes majority minus minority.
  lower <- c(0.24, 0.00, 0.12, 0.19, 0.16, 0.51, 0.30, 0.30, 0.18, 0.28)
  expect_equal(bobko1999$R[upper.tri(bobko1999$R)], lower)
  expect_true(isSymmetric(bobko1999$R) && all(diag(bobko1999$R) == 1))
  expect_equal(-unname(bobko1999$d[1:4]), c(1.00, 0.23, 0.09, 0.33))
  expect_identical(rownames(bobko1999$R), names(bobko1999$d))
  expect_equal(bobko1999[c("n_predictors", "minority_share", "sr")],
               list(n_predictors = 4L, minority_share = 0.25, sr = 0.10))
})

test_that("its front has the regression end De Corte et al. (2007) report", {
  front <- with(bobko1999, pareto_front(R, d, n_predictors, minority_share = minority_share, sr = sr))
  top <- front[front$kind == "max_validity", ]
  expect_equal(c(top$validity, top$ai), c(0.434, 0.226), tolerance = 2e-3)
})

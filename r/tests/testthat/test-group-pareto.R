# The front of several groups: two groups give the two-group front, every
# point's AIs and validity follow from its weights by the joint pool computed
# here with pnorm() and uniroot(), and its methods and argument checks.
groups_problem <- function() {
  R <- matrix(c(1, .31, .51, .31, 1, .51, .51, .51, 1), 3,
              dimnames = rep(list(c("ability", "interview", "performance")), 2))
  d <- rbind(White = c(0, 0, 0), Black = c(-1, -.23, -.38), Hispanic = c(-.72, -.17, -.26),
             Asian = c(.1, -.05, 0))
  list(R = R, d = d, shares = c(White = 60, Black = 15, Hispanic = 18, Asian = 7))
}

test_that("two groups as a matrix give the two-group front at the same AIs", {
  e <- groups_problem()
  for (nonnegative in c(TRUE, FALSE)) {
    two <- pareto_front(e$R, e$d["Black", ], 2, sr = 0.2, applicant_ratio = 4, points = 7,
                        nonnegative = nonnegative)
    several <- pareto_front(e$R, e$d[c("White", "Black"), ], 2, sr = 0.2, points = 7,
                            shares = c(White = 4, Black = 1), nonnegative = nonnegative)
    black <- several[several$group == "Black", ]
    expect_equal(black$kind, two$kind)
    expect_equal(black$ai, two$ai, tolerance = 1e-9)
    expect_equal(black$validity, two$validity, tolerance = 1e-9)
  }
})

test_that("every point's AIs and validity are the joint pool of its weights", {
  e <- groups_problem()
  for (nonnegative in c(TRUE, FALSE)) {
    front <- pareto_front(e$R, e$d, 2, sr = 0.3, points = 6, shares = e$shares, target = 0.75,
                          nonnegative = nonnegative)
    expect_s3_class(front, "fourfifths_group_pareto")
    expect_equal(levels(front$group), rownames(e$d))
    p <- e$shares / sum(e$shares)
    for (k in unique(front$point)) {
      lines <- front[front$point == k, ]
      w <- c(lines$ability[1], lines$interview[1])
      sd <- sqrt(drop(t(w) %*% e$R[1:2, 1:2] %*% w))
      dx <- drop(e$d[, 1:2] %*% w) / sd
      x <- uniroot(function(x) sum(p * pnorm(x - dx, lower.tail = FALSE)) - 0.3, c(-8, 8),
                   tol = 1e-14)$root
      ai <- pnorm(x - dx, lower.tail = FALSE) / pnorm(x, lower.tail = FALSE)
      expect_equal(lines$ai, unname(ai), tolerance = 1e-8)
      expect_equal(lines$min_ai[1], min(ai[-1]), tolerance = 1e-8)
      expect_equal(lines$validity[1], sum(w * e$R[1:2, 3]) / sd, tolerance = 1e-12)
      expect_lte(lines$kkt_residual[1], 1e-9)
    }
    ends <- front[front$reference, ]
    expect_equal(ends$kind[1], "max_validity")
    expect_equal(ends$kind[nrow(ends)], "min_impact")
    expect_true(all(diff(ends$validity) <= 1e-12))
    target <- ends[ends$kind == "four_fifths", ]
    expect_equal(nrow(target), 1)
    expect_equal(target$min_ai, 0.75, tolerance = 1e-9)
    expect_true(attr(front, "headline")$reached)
    expect_equal(attr(front, "headline")$binding, "Black")
  }
})

test_that("a target out of reach is said, with how close the best comes", {
  e <- groups_problem()
  front <- pareto_front(e$R, e$d, 2, sr = 0.3, points = 3, shares = e$shares)
  h <- attr(front, "headline")
  expect_false(h$reached)
  expect_equal(h$min_ai, max(front$min_ai), tolerance = 1e-9)
  expect_output(print(front), "No weighting reaches AI 0.8 for every group")
})

test_that("a front of several groups plots, and its arguments are checked", {
  e <- groups_problem()
  front <- pareto_front(e$R, e$d, 2, sr = 0.3, points = 4, shares = e$shares, target = 0.75)
  path <- tempfile(fileext = ".pdf")
  pdf(path)
  expect_silent(plot(front))
  dev.off()
  if (requireNamespace("ggplot2", quietly = TRUE)) expect_s3_class(ggplot2::autoplot(front), "ggplot")
  expect_error(pareto_front(e$R, e$d, 2, shares = e$shares, target = 1.2), class = "fourfifths_bad_argument")
  expect_error(pareto_front(e$R, e$d["Black", ], 2, applicant_ratio = 4, target = 0.7),
               class = "fourfifths_bad_argument")
  expect_error(pareto_front(e$R, e$d, 2, shares = e$shares, applicant_ratio = 4),
               class = "fourfifths_bad_argument")
  expect_error(pareto_front(e$R, e$d, 2), class = "fourfifths_bad_argument")
})

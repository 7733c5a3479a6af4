# The worked example against its worked values and against the selection
# model computed here independently (normal tails from pnorm, cut-offs by
# uniroot). The library's cut-off searches stop within a relative 0.0001 of
# the cut-off and a row's group ratios are those of the search's last
# evaluation, so the two agree to a relative 1e-3.

study <- do.call(selection_study, worked)
rows <- as.data.frame(study)
row_at <- function(rows, sr, kind) rows[rows$kind == kind & abs(rows$sr - sr) < 1e-12, ]

test_that("composites, rows and boundary are those of the selection model", {
  w <- worked$weights
  sxx <- drop(w %*% worked$R[1:2, 1:2] %*% w)
  sxy <- sum(w * worked$R[1:2, 3])
  dx <- sum(w * worked$d[1:2]) / sqrt(sxx)
  expect_equal(study$composites, c(sxx = sxx, syy = 1, sxy = sxy, rxy = sxy / sqrt(sxx), dx = dx, dy = -0.5))
  expect_equal(unlist(row_at(rows, 0.5, "builtin")[c("sra", "sri", "ai", "m")]),
               c(sra = 0.565878, sri = 0.236486, ai = 0.41791, m = 0.376042), tolerance = 1e-5)
  upper <- function(x, shift = 0) pnorm(x - shift, lower.tail = FALSE)
  for (sr in c(0.01, 0.1, 0.15, 0.5, 0.9)) {
    cut <- uniroot(function(x) 0.8 * upper(x) + 0.2 * upper(x, dx) - sr, c(-8, 8), tol = 1e-12)$root
    ma <- sxy / sqrt(sxx) * dnorm(cut) / upper(cut)
    mi <- -0.5 + sxy / sqrt(sxx) * dnorm(cut - dx) / upper(cut, dx)
    model <- c(sra = upper(cut), sri = upper(cut, dx), ma = ma, mi = mi,
               m = (0.8 * upper(cut) * ma + 0.2 * upper(cut, dx) * mi) / sr)
    row <- row_at(rows, sr, if (sr == 0.15) "requested" else "builtin")
    expect_equal(unlist(row[names(model)]), model, tolerance = 1e-3, label = paste("SR", sr))
  }
  cut <- uniroot(function(x) upper(x, dx) / upper(x) - 0.8, c(-8, 8), tol = 1e-12)$root
  expect_equal(study$boundary[["sr"]], 0.8 * upper(cut) + 0.2 * upper(cut, dx), tolerance = 1e-4)
  expect_equal(row_at(rows, study$boundary[["sr"]], "boundary")$ai, 0.8, tolerance = 1e-4)
  expect_output(print(study), "Four-fifths boundary: SR 0.904 (SRA 0.942, SRI 0.753)", fixed = TRUE)
})

test_that("rows have their kinds and statuses, and NA where a value does not exist", {
  expect_named(rows, c("kind", "sr", "status", "cutoff", "sra", "sri", "ai", "m", "ma", "mi",
                       "dif", "sm", "sma", "smi", "sdif"))
  swept <- as.data.frame(suppressWarnings(
    do.call(selection_study, c(modified(worked, list(sr = 1.5)), sweep = 0.5))))
  expect_identical(swept$kind[22:24], c("boundary", "requested", "sweep"))
  expect_true(swept$status[23] == "no_cutoff" && all(is.na(swept[23, 4:15])))
  expect_identical(swept[24, -1], swept[11, -1], ignore_attr = TRUE)
  majority <- as.data.frame(suppressWarnings(do.call(selection_study, modified(
    worked, list(basis = "majority", applicant_ratio = NULL, sr = c(0.5, 1))))))
  expect_true(all(is.na(majority[c("m", "sm", "sma", "smi", "sdif")])))
  expect_identical(majority$status[23:24], c("ok", "ratio_out_of_range"))
  expect_equal(majority$sri[23], pnorm(0, study$composites[["dx"]], lower.tail = FALSE),
               tolerance = 1e-6)
})

test_that("a minority share is its applicant ratio; dimnames name the regression weights", {
  share <- do.call(selection_study, modified(worked, list(applicant_ratio = NULL, minority_share = 0.2)))
  expect_identical(as.data.frame(share), rows)
  R <- worked$R
  dimnames(R) <- list(NULL, c("ability", "interview", "performance"))
  regression <- selection_study(R, worked$d, "regression", 2, applicant_ratio = 4)
  expect_equal(regression$weights, solve(R[1:2, 1:2], R[1:2, 3]))
})

# Arguments of the wrong type or shape stop in R before any computation;
# decks that cannot be read stop naming the line and the field.

test_that("wrong types and shapes stop with a message naming the argument", {
  asymmetric <- with_na <- worked$R
  asymmetric[1, 2] <- 0.2
  with_na[3, 1] <- NA
  cases <- list(
    list(list(R = as.data.frame(worked$R)), "`R` must be a numeric matrix"),
    list(list(R = worked$R[, 1:2]), "`R` must be square: it has 3 rows and 2 columns"),
    list(list(R = asymmetric), "`R` must be symmetric"),
    list(list(R = with_na), "`R` must not hold NA"),
    list(list(d = c(-1, -0.2)), "`d` must be a numeric vector of 3 effect sizes"),
    list(list(weights = "regresion"), "`weights` must be \"regression\" or a numeric vector of 2"),
    list(list(n_predictors = 1.5), "`n_predictors` must be a whole number from 1 to nrow\\(R\\) = 3"),
    list(list(minority_share = 0.2), "exactly one of `applicant_ratio` and `minority_share`"),
    list(list(basis = "majority"), "belong to the overall basis only"),
    list(list(quality = NA), "`quality` must be \"criterion\" or \"predictor\""),
    list(list(sr = c(0.1, NA)), "`sr` must be a numeric vector of selection ratios"))
  for (case in cases)
    expect_error(do.call(selection_study, modified(worked, case[[1]])), case[[2]],
                 class = "fourfifths_bad_argument")
})

test_that("a deck that cannot be read stops naming the line and columns", {
  lines <- strsplit(do.call(write_deck, c(worked, file = tempfile())), "\n")[[1]]
  unreadable <- replace(lines, 6, "  0.300  1.0x0  0.400")
  cases <- list(
    list(unreadable, c(6, 8, 14), "line 6, columns 8-14 (correlation matrix row 2): \"  1.0x0\" is not a number"),
    list(lines[1:8], c(9, 1, 7), "line 9, columns 1-7 (criterion effect sizes): the deck ends before this record"))
  for (case in cases) {
    error <- tryCatch(read_deck(text = paste0(case[[1]], "\n", collapse = "")), error = identity)
    expect_s3_class(error, "fourfifths_deck_error")
    expect_equal(unlist(error[c("line", "first_column", "last_column")]), case[[2]], ignore_attr = TRUE)
    expect_identical(conditionMessage(error), case[[3]])
  }
  file <- tempfile()
  writeLines(unreadable, file)
  expect_error(read_deck(file), paste0(file, ": line 6, columns 8-14"), fixed = TRUE)
  expect_error(read_deck(text = " 11  0  0  0  1  0\n"),
               "Too many predictors and criteria\nAverage criterion quality", class = "fourfifths_invalid_problem")
})

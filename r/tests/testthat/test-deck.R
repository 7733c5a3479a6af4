# Decks written from R read back to the same problem; the example decks are
# written back byte for byte.

test_that("written decks read back to the same arguments", {
  cases <- list(
    worked,
    modified(worked, list(weights = "regression", basis = "majority", applicant_ratio = NULL, sr = numeric())),
    list(R = diag(2), d = c(-0.5, 0), weights = c(0.25, 2.5), n_predictors = 2L, basis = "overall",
         applicant_ratio = 9, quality = "predictor", sr = c(0.01, 0.05, 0.125, 0.1525)))
  for (arguments in cases) {
    back <- read_deck(text = do.call(write_deck, c(arguments, file = tempfile())))
    expect_identical(back, Filter(Negate(is.null), arguments)[names(back)])
  }
})

test_that("the example decks are written back byte for byte", {
  skip_without_program()
  for (deck in example_decks())
    expect_identical(do.call(write_deck, c(read_deck(deck), file = tempfile())),
                     rawToChar(readBin(deck, "raw", file.size(deck))), label = basename(deck))
})

test_that("a value that does not fit a field is rounded, with a warning", {
  arguments <- modified(worked, list(weights = c(1, 1 / 3), applicant_ratio = NULL, minority_share = 0.125))
  expect_warning(deck <- do.call(write_deck, c(arguments, file = tempfile())),
                 "1 value did not fit a 7-column field", class = "fourfifths_rounded_values")
  expect_identical(read_deck(text = deck)[c("weights", "applicant_ratio")],
                   list(weights = c(1, 0.33333), applicant_ratio = 7))
})

# The package's reports and messages are the program's, byte for byte.

test_that("every example deck, and a deck written from R, gives the program's report", {
  skip_without_program()
  expect_gte(length(example_decks()), 3)
  for (deck in example_decks())
    expect_identical(format(do.call(selection_study, read_deck(deck)), style = "report"),
                     program_output(deck), label = basename(deck))
  R <- matrix(c(1, 0.31, 0.51, 0.31, 1, 0.48, 0.51, 0.48, 1), 3, 3,
              dimnames = list(NULL, c("ability", "interview", "performance")))
  arguments <- list(R, d = c(-0.72, -0.31, -0.27), weights = "regression", n_predictors = 2,
                    minority_share = 0.125, sr = c(0.05, 0.1, 0.25))
  deck <- tempfile()
  do.call(write_deck, c(arguments, file = deck))
  expect_identical(format(do.call(selection_study, arguments), style = "report"), program_output(deck))
})

test_that("an invalid problem's error holds the program's messages", {
  skip_without_program()
  cases <- list(
    zero_weights = list(weights = c(0, 0)),
    negative_ratio = list(applicant_ratio = -1),
    no_criteria = list(R = diag(2), d = c(-1, -0.2), criterion_weights = NULL, weights = "regression"),
    singular = list(R = matrix(c(1, 1, 0.5, 1, 1, 0.5, 0.5, 0.5, 1), 3, 3), weights = "regression"))
  for (case in names(cases)) {
    arguments <- modified(worked, cases[[case]])
    deck <- tempfile()
    do.call(write_deck, c(arguments, file = deck))
    error <- tryCatch(do.call(selection_study, arguments), error = identity)
    expect_s3_class(error, "fourfifths_invalid_problem")
    expect_identical(paste0(conditionMessage(error), "\n"), program_output(deck), label = case)
  }
})

# The program built from the same sources and the project's example decks;
# `./dev r` sets both, so the comparisons always run there.
program <- Sys.getenv("FOURFIFTHS_PROGRAM")
examples <- Sys.getenv("FOURFIFTHS_EXAMPLES")
skip_without_program <- function() skip_if(program == "" || examples == "", "run by ./dev r")
example_decks <- function() list.files(examples, pattern = "\\.deck$", full.names = TRUE)

# The program's standard output for a deck file.
program_output <- function(deck) {
  out <- tempfile()
  expect_equal(system2(program, stdin = deck, stdout = out, stderr = FALSE), 0)
  rawToChar(readBin(out, "raw", file.size(out)))
}

# The worked example: two predictors, one criterion, four majority applicants
# to each minority applicant.
worked <- list(R = matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3),
               d = c(-1, -0.2, -0.5), weights = c(1, 0.5), n_predictors = 2L,
               criterion_weights = 1, basis = "overall", applicant_ratio = 4,
               quality = "criterion", sr = c(0.15, 0.3))

# The arguments with some replaced (a NULL among the changes stays, as NULL).
modified <- function(arguments, changes) {
  arguments[names(changes)] <- changes
  arguments
}

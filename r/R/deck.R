read_deck <- function(file, text = NULL) {
  source <- text_of(file, text, "deck")
  where <- if (nzchar(source$where)) paste0(source$where, ": ") else ""
  text <- source$text
  deck <- read_deck_text(text)
  if (!is.null(deck$error)) {
    e <- deck$error
    stop(structure(class = c("fourfifths_deck_error", "error", "condition"),
                   list(message = paste0(where, e$message), call = NULL, line = e$line,
                        first_column = e$first_column, last_column = e$last_column,
                        found = e$found)))
  }
  if (length(deck$messages)) invalid_problem(deck$messages)
  problem_arguments(deck$problem)
}

write_deck <- function(..., file) {
  problem <- as_problem(...)
  if (problem$predictors + problem$criteria > 10)
    bad_argument("a deck holds at most 10 predictors and criteria together")
  if (length(problem$requested_ratios) > 999)
    bad_argument("a deck holds at most 999 requested selection ratios")
  if (any(!is.finite(unlist(problem[c("applicant_ratio", "predictor_weights",
                                        "criterion_weights", "correlations",
                                        "predictor_effects", "criterion_effects",
                                        "requested_ratios")]))))
    bad_argument("a deck holds finite numbers only")
  deck <- write_deck_text(problem)
  if (deck$rounded > 0)
    warning(structure(class = c("fourfifths_rounded_values", "warning", "condition"),
                      list(message = sprintf("%s did not fit a 7-column field of the deck and %s rounded to the nearest value that fits",
                                             plural(deck$rounded, "value"),
                                             if (deck$rounded == 1) "was" else "were"),
                           call = NULL, rounded = deck$rounded)))
  cat(deck$text, file = file, sep = "")
  invisible(deck$text)
}

# Study files through the library's reader and writers: the shipped example
# read into selection_study()'s arguments, written back (TOML and JSON) to
# the same arguments, and faults named by line, column and key.

example_file <- system.file("extdata", "groups.toml", package = "fourfifths")

test_that("the example study file gives the arguments of a study of its groups", {
  arguments <- read_study_file(example_file)
  expect_identical(rownames(arguments$d), c("White", "Black", "Hispanic", "Asian"))
  expect_identical(colnames(arguments$R), c("ability", "interview", "performance"))
  expect_identical(arguments$d["Black", ], c(ability = -1, interview = -0.23, performance = -0.38))
  expect_identical(arguments$shares, c(White = 60, Black = 15, Hispanic = 18, Asian = 7))
  expect_identical(arguments$sweep, seq(1, 49) / 50)
  expect_identical(arguments[c("basis", "pool", "quality", "sr")],
                   list(basis = "overall", pool = "joint", quality = "criterion", sr = c(0.15, 0.3)))
  study <- do.call(selection_study, arguments)
  expect_s3_class(study, "fourfifths_group_study")
  expect_identical(nrow(study$rows), 4L * (21L + 1L + 2L + 49L))
})

test_that("a study written as TOML or JSON reads back to the same arguments", {
  arguments <- read_study_file(example_file)
  arguments$basis <- "reference"
  arguments$shares <- NULL
  arguments$pool <- "pairwise"
  arguments$weights <- "regression"
  arguments$sweep <- c(0.1 + 0.2, 1 / 3)
  for (format in c("toml", "json")) {
    file <- tempfile(fileext = paste0(".", format))
    do.call(write_study_file, c(arguments, file = file, format = format))
    expect_identical(read_study_file(file), arguments, label = format)
  }
  # Two groups given as a vector: groups majority and minority.
  file <- tempfile(fileext = ".toml")
  do.call(write_study_file, c(worked, file = file, comment = "the worked example"))
  expect_identical(readLines(file, 1), "# the worked example")
  two <- read_study_file(file)
  expect_identical(two$d, rbind(majority = c(P1 = 0, P2 = 0, C1 = 0), minority = c(P1 = -1, P2 = -0.2, C1 = -0.5)))
  expect_identical(two$shares, c(majority = 4, minority = 1))
  classic <- do.call(selection_study, worked)$rows
  groups <- do.call(selection_study, two)$rows
  expect_identical(groups$group_sr[groups$group == "minority"], classic$sri)
})

test_that("faults stop naming the file, line, column and key", {
  lines <- c('predictors = ["ability"]', 'correlations = [[1.0]]', '[weights]',
             'predictors = { ability = 1.0 }', '[selection]', 'sweep = "0.1"', '[[groups]]',
             'name = "A"', 'share = 1', '[[groups]]', 'name = "B"', 'share = 1',
             'effects = { ability = -1.0 }')
  study <- function(line, text) paste(replace(lines, line, text), collapse = "\n")
  expect_identical(read_study_file(text = study(6, 'sweep = "0.1"'))$sweep, 0.1)
  cases <- list(
    list(study(4, "predictors = { abiltiy = 1.0 }"), "<text>:4:16: key 'weights.predictors.abiltiy'"),
    list(study(6, 'sweep = "0.5:0.1:0.1"'), "<text>:6:9: key 'selection.sweep'"),
    list(study(2, "correlations = [[1.0]"), "<text>:3:1: not TOML"),
    list(study(12, "share = -1"), "key 'groups[2].share'"))
  for (case in cases)
    expect_error(read_study_file(text = case[[1]]), case[[2]], fixed = TRUE,
                 class = "fourfifths_study_file_error")
  error <- tryCatch(read_study_file(text = cases[[1]][[1]]), error = identity)
  expect_identical(error[c("line", "column", "key")],
                   list(line = 4L, column = 16L, key = "weights.predictors.abiltiy"))
  deck <- tempfile(fileext = ".deck")
  do.call(write_deck, c(worked, file = deck))
  expect_error(read_study_file(deck), "this is a problem deck, not a study file: read it with read_deck()",
               fixed = TRUE, class = "fourfifths_study_file_error")
  expect_error(read_study_file(deck, text = "x"), "give `file` or `text`, not both",
               class = "fourfifths_bad_argument")
  front <- read_study_file(example_file)
  front$weights <- "front"
  expect_error(do.call(selection_study, front), "the weights are left to the validity-adverse-impact front",
               class = "fourfifths_bad_argument")
  expect_error(do.call(write_study_file, c(worked, file = tempfile(), format = "yaml")),
               "`format` must be \"toml\" or \"json\"", class = "fourfifths_bad_argument")
})

# Inputs that once gave impossible answers, ran away or failed obscurely are
# refused before any computation, each with a message naming the fault.

named <- function(R, names) `dimnames<-`(R, list(names, names))
front_arguments <- list(R = worked$R, d = worked$d, n_predictors = 2, applicant_ratio = 4)

test_that("matrices that cannot be correlations are refused, naming the fault", {
  R <- worked$R
  cases <- list(
    not_semidefinite = list(matrix(c(1, -0.9, 0.9, -0.9, 1, 0.9, 0.9, 0.9, 1), 3),
                            "smallest eigenvalue is -0.8"),
    beyond_one = list(replace(R, c(2, 4), 1.5), "Correlation \\(1, 2\\) is 1.5"),
    covariance = list(R * 4, "with 1 on its diagonal: R\\[1, 1\\] is 4 \\(a covariance matrix"),
    diagonal = list(replace(R, 5, 2), "R\\[2, 2\\] is 2"),
    infinite = list(replace(R, c(2, 4), Inf), "`R` must hold finite numbers"),
    names_differ = list(`dimnames<-`(R, list(c("a", "b", "y"), c("a", "b", "z"))),
                        "row names of `R` \\(a, b, y\\) differ from its column names"),
    names_repeat = list(named(R, c("a", "a", "y")), "must be unique and not empty"))
  for (case in names(cases)) {
    arguments <- modified(worked, list(R = cases[[case]][[1]]))
    expect_error(do.call(selection_study, arguments), cases[[case]][[2]],
                 class = "fourfifths_bad_argument", label = case)
    expect_error(do.call(pareto_front, modified(front_arguments, list(R = cases[[case]][[1]]))),
                 cases[[case]][[2]], class = "fourfifths_bad_argument", label = case)
  }
})

test_that("named effect sizes and weights are matched to R's names, or refused", {
  R <- named(worked$R, c("ability", "interview", "performance"))
  base <- modified(worked, list(R = R))
  reversed <- modified(base, list(d = c(performance = -0.5, interview = -0.2, ability = -1),
                                  weights = c(interview = 0.5, ability = 1),
                                  criterion_weights = c(performance = 1)))
  expect_equal(do.call(selection_study, reversed)$composites,
               do.call(selection_study, base)$composites)
  expect_equal(do.call(selection_study, base)$composites[["dx"]],
               (-1 - 0.1) / sqrt(1.25 + 0.3), tolerance = 1e-12)
  cases <- list(list(d = c(performance = -0.5, interview = -0.2, skill = -1)), "`d` \\(performance, interview, skill\\)",
                list(weights = c(interview = 0.5, performance = 1)), "`weights`",
                list(criterion_weights = c(ability = 1)), "`criterion_weights`")
  for (i in seq(1, length(cases), 2))
    expect_error(do.call(selection_study, modified(base, cases[[i]])), cases[[i + 1]],
                 class = "fourfifths_bad_argument")
})

test_that("counts and ratios out of range stop before any computation", {
  cases <- list(
    list(pareto_front, modified(front_arguments, list(points = 1e9)), "from 2 to 10000"),
    list(pareto_front, modified(front_arguments, list(points = Inf)), "from 2 to 10000"),
    list(pareto_front, modified(front_arguments, list(points = 3e9)), "from 2 to 10000"),
    list(pareto_front, modified(front_arguments, list(sr = 10)), "strictly between 0 and 1"),
    list(selection_study, c(worked, list(sweep = seq(0.5, 0.6, length.out = 100001))), "at most 100000"),
    list(selection_study, c(worked, list(sweep = c(0.5, 0))), "`sweep` ratios must lie strictly between 0 and 1"),
    list(selection_study, c(worked, list(sweep = c(0.5, 1e-12))), "at least 1e-06"),
    list(selection_study, modified(worked, list(applicant_ratio = NULL, minority_share = 1)),
         "strictly between 0 and 1"),
    list(selection_study, modified(worked, list(applicant_ratio = Inf)), "one finite number"))
  for (case in cases) {
    time <- system.time(expect_error(do.call(case[[1]], case[[2]]), case[[3]],
                                     class = "fourfifths_bad_argument"))
    expect_lt(time[["elapsed"]], 1)
  }
})

test_that("requested ratios that are no selection ratios warn, and NULL ratios are none", {
  for (ratio in c(0, 1, -0.1, 10))
    expect_warning(study <- do.call(selection_study, modified(worked, list(sr = ratio))),
                   "strictly between 0 and 1 \\(10% is 0.10\\)", class = "fourfifths_ratio_out_of_range")
  expect_true(all(is.na(study$rows[study$rows$kind == "requested", "ai"])))
  expect_identical(do.call(selection_study, modified(worked, list(sr = NULL)))$rows,
                   do.call(selection_study, modified(worked, list(sr = numeric())))$rows)
})

test_that("a long sweep runs in slices that give the rows of one study", {
  ratios <- seq(0.0001, 0.9999, length.out = 4501)
  study <- do.call(selection_study, c(worked, list(sweep = ratios)))
  swept <- study$rows[study$rows$kind == "sweep", ]
  expect_equal(swept$sr, ratios)
  alone <- do.call(selection_study, c(worked, list(sweep = ratios[c(1, 2001, 4501)])))$rows
  expect_identical(swept[c(1, 2001, 4501), -1], alone[alone$kind == "sweep", -1], ignore_attr = TRUE)
})

test_that("the smaller faults: defaults, scale, names, byte-order mark, printing", {
  # No criteria: quality is measured on the predictor composite by default.
  study <- selection_study(diag(3), c(-1, -0.2, -0.5), c(1, 1, 1), 3, applicant_ratio = 4)
  expect_identical(study$problem$quality, "predictor")
  # The composites do not depend on the weights' scale.
  tiny <- do.call(selection_study, modified(worked, list(weights = worked$weights * 1e-200)))
  expect_equal(tiny$composites, do.call(selection_study, worked)$composites)
  # Predictors named like the front's columns keep their own columns.
  R <- named(worked$R, c("ai", "kind", "performance"))
  front <- do.call(pareto_front, modified(front_arguments, list(R = R)))
  expect_false(anyDuplicated(names(front)) > 0)
  expect_identical(tail(names(front), 2), c("w_ai", "w_kind"))
  expect_identical(front$kind[1], "max_validity")
  # Both a file and a text, and a deck that starts with a byte-order mark.
  deck <- file.path(tempdir(), "bom.deck")
  text <- do.call(write_deck, c(worked, file = deck))
  expect_error(read_deck(deck, text = text), "not both", class = "fourfifths_bad_argument")
  writeBin(c(as.raw(c(0xef, 0xbb, 0xbf)), charToRaw(text)), deck)
  expect_identical(read_deck(deck), read_deck(text = text))
  # Printing: a value zero but for rounding does not turn its column
  # scientific, and digits is the caller's.
  free <- do.call(pareto_front, c(front_arguments, nonnegative = FALSE))
  expect_output(print(free), "min_impact +1.000")
  expect_false(any(grepl("[0-9]e-[0-9]", capture.output(print(free)))))
  expect_output(print(free, digits = 5), "0.80000")
  # A minority group scoring higher: nothing to bound.
  higher <- do.call(selection_study, modified(worked, list(d = -worked$d)))
  expect_output(print(higher), "no adverse impact to bound")
})

# Staged selection against the multiple-hurdle model computed here
# independently: each stage composite's group means and the stages'
# correlations from the weights, the pool's share still in from mvtnorm's
# normal probabilities (Miwa's algorithm, accurate to about 1e-9 in three
# dimensions), each cut-off by uniroot, and the mean criterion of the
# finally selected by Monte Carlo with a tolerance of four standard errors.

R4 <- matrix(c(1.00, 0.30, 0.25, 0.35,
               0.30, 1.00, 0.30, 0.50,
               0.25, 0.30, 1.00, 0.40,
               0.35, 0.50, 0.40, 1.00), 4, 4,
             dimnames = rep(list(c("biodata", "ability", "interview", "performance")), 2))
d3 <- rbind(White = c(0, 0, 0, 0), Black = c(-0.30, -1.00, -0.25, -0.40),
            Hispanic = c(-0.20, -0.70, -0.15, -0.30))
colnames(d3) <- colnames(R4)
shares3 <- c(White = 60, Black = 22, Hispanic = 18)
screen <- list(name = "screen", weights = c(biodata = 1, ability = 0.5), entrants = 0.5)
test <- list(name = "test", weights = c(ability = 1), entrants = 0.4)
interview <- list(name = "interview", weights = c(ability = 0.5, interview = 1), still_in = 0.1)

# The model of a design: per stage its weights over the predictors, the
# groups' means and the stages' correlations with each other and the criterion.
stage_model <- function(stages, d, shares) {
  P <- R4[1:3, 1:3]
  W <- sapply(stages, function(s) { w <- setNames(rep(0, 3), rownames(P)); w[names(s$weights)] <- s$weights; w })
  sd <- sqrt(diag(t(W) %*% P %*% W))
  list(means = sweep(d[, 1:3] %*% W, 2, sd, "/"),
       r = cov2cor(t(W) %*% P %*% W),
       ry = drop(t(W) %*% R4[1:3, 4]) / sd,
       W = W, p = shares / sum(shares))
}

# Group g's share above cut-offs cut on the first length(cut) stages.
above <- function(model, g, cut) {
  k <- length(cut)
  if (k == 1) return(pnorm(cut - model$means[g, 1], lower.tail = FALSE))
  mvtnorm::pmvnorm(lower = cut - model$means[g, 1:k], upper = rep(Inf, k),
                   corr = model$r[1:k, 1:k, drop = FALSE], algorithm = mvtnorm::Miwa(steps = 256))[[1]]
}

model_selection <- function(stages, d, shares) {
  model <- stage_model(stages, d, shares)
  groups <- rownames(d)
  cut <- numeric()
  pool <- 1
  still <- list()
  for (s in seq_along(stages)) {
    target <- if (!is.null(stages[[s]]$entrants)) stages[[s]]$entrants * pool else stages[[s]]$still_in
    f <- function(x) sum(model$p * vapply(groups, function(g) above(model, g, c(cut, x)), 0)) - target
    cut <- c(cut, uniroot(f, c(-8, 8), tol = 1e-11)$root)
    still[[s]] <- vapply(groups, function(g) above(model, g, cut), 0)
    pool <- target
  }
  list(model = model, cut = cut, still = still)
}

test_that("staged shares, impact ratios and quality are those of the multiple-hurdle model", {
  designs <- list(
    "two stages, two groups" = list(stages = list(screen, interview), groups = 1:2),
    "two stages, three groups" = list(stages = list(screen, interview), groups = 1:3),
    "three stages, two groups" = list(stages = list(screen, test, interview), groups = 1:2),
    "three stages, three groups" = list(stages = list(screen, test, interview), groups = 1:3))
  set.seed(20261208)
  for (label in names(designs)) {
    design <- designs[[label]]
    d <- d3[design$groups, ]
    shares <- shares3[design$groups]
    study <- staged_study(R4, d, design$stages, 3, shares = shares)
    expected <- model_selection(design$stages, d, shares)
    rows <- study$rows[study$rows$selection == "staged", ]
    for (s in seq_along(design$stages)) {
      at <- rows[rows$stage == s, ]
      still <- expected$still[[s]]
      before <- if (s == 1) 1 else expected$still[[s - 1]]
      expect_equal(at$cutoff[1], expected$cut[s], tolerance = 1e-7, label = paste(label, s, "cut-off"))
      expect_equal(at$still_in, unname(still), tolerance = 1e-7, label = paste(label, s, "still in"))
      expect_equal(at$ai_cumulative, unname(still / still[1]), tolerance = 1e-7)
      expect_equal(at$ai_highest, unname((still / before) / max(still / before)), tolerance = 1e-7)
    }
    # The mean criterion of each group's finally selected, by simulation.
    model <- expected$model
    k <- length(design$stages)
    sigma <- rbind(cbind(model$r, model$ry), c(model$ry, 1))
    quality <- study$quality[study$quality$selection == "staged", ]
    for (g in rownames(d)) {
      z <- matrix(rnorm(4e5 * (k + 1)), ncol = k + 1) %*% chol(sigma)
      kept <- rowSums(sweep(z[, 1:k, drop = FALSE], 2, expected$cut - model$means[g, ], ">=")) == k
      y <- z[kept, k + 1] + d[g, "performance"]
      expect_lt(abs(quality$quality[quality$group == g] - mean(y)), 4 * sd(y) / sqrt(length(y)))
    }
  }
})

test_that("a stage that passes everyone, or a repeated composite, reduces to one stage", {
  single <- groups <- selection_study(R4, d3, c(biodata = 0, ability = 0.5, interview = 1), 3,
                                      shares = shares3, sr = 0.1)
  at <- groups$rows[groups$rows$kind == "requested", ]
  cases <- list(
    "everyone passes the first stage" = list(list(name = "all", weights = c(biodata = 1), entrants = 1),
                                             interview),
    "the same composite twice" = list(modifyList(interview, list(name = "first", still_in = 0.3)),
                                      interview))
  for (label in names(cases)) {
    study <- staged_study(R4, d3, cases[[label]], 3, shares = shares3)
    last <- study$rows[study$rows$selection == "staged" & study$rows$stage == 2, ]
    one <- study$rows[study$rows$selection == "single", ]
    expect_equal(last$still_in, one$still_in, tolerance = 1e-12, label = label)
    expect_equal(study$quality$quality[1:4], study$quality$quality[5:8], tolerance = 1e-12, label = label)
    # The library's single-stage study finds its cut-off to a relative 1e-4.
    expect_equal(last$still_in, at$group_sr, tolerance = 1e-3, label = label)
    expect_equal(study$quality$quality[1:3], at$quality, tolerance = 1e-3, label = label)
  }
})

test_that("stages come as lists, a data frame or a study file, and the program agrees", {
  listed <- staged_study(R4, d3, list(screen, test, interview), 3, shares = shares3, minimum = 0.01)
  frame <- data.frame(name = c("screen", "test", "interview"), rule = c("entrants", "entrants", "still_in"),
                      value = c(0.5, 0.4, 0.1), biodata = c(1, NA, NA), ability = c(0.5, 1, 0.5),
                      interview = c(NA, NA, 1))
  expect_identical(staged_study(R4, d3, frame, 3, shares = shares3, minimum = 0.01)$rows, listed$rows)
  skip_without_program()
  arguments <- read_study_file(file.path(examples, "stages.toml"))
  file <- do.call(staged_study, arguments)
  expect_identical(file$rows$still_in, listed$rows$still_in)
  expect_identical(file$quality, listed$quality)
  for (format in c("toml", "json")) {
    written <- tempfile()
    do.call(write_study_file, c(arguments, file = written, format = format))
    expect_identical(read_study_file(written), arguments, label = format)
  }
  csv <- tempfile()
  expect_equal(system2(file.path(dirname(program), "fourfifths-study"),
                       c("--format", "csv", file.path(examples, "stages.toml")), stdout = csv), 0)
  lines <- read.csv(csv)
  expect_identical(lines$selection, as.character(file$rows$selection))
  for (column in c("cutoff", "pass", "still_in", "ai", "ai_highest", "ai_cumulative_highest"))
    expect_equal(lines[[column]], file$rows[[column]], tolerance = 1e-12, label = column)
})

test_that("staged designs are checked, each fault naming its stage", {
  cases <- list(
    list(list(stages = list()), "`stages` must be a list of stages", "fourfifths_bad_argument"),
    list(list(stages = list(list(name = "a", weights = c(ability = 1)))), "stage 1 'a': give exactly one pass rule",
         "fourfifths_bad_argument"),
    list(list(stages = list(screen, list(name = "b", weights = c(iq = 1), cutoff = 0))),
         "stage 2 'b': the names of `weights` \\(iq\\) must be predictors", "fourfifths_bad_argument"),
    list(list(stages = list(screen, modifyList(test, list(entrants = 1.5)))),
         "Stage 2 'test': the share of its entrants who pass must lie in \\(0, 1\\]", "fourfifths_invalid_problem"),
    list(list(stages = list(screen, test, interview, interview)), "at most 3 stages",
         "fourfifths_invalid_problem"),
    list(list(stages = list(screen, modifyList(interview, list(still_in = 0.6)))),
         "Stage 2 'interview': keeps 0.6 of all applicants, more than the 0.5", "fourfifths_invalid_problem"),
    list(list(minimum = 0.3), "Stage 2 'interview': leaves 0.1 of all applicants, fewer than the minimum 0.3",
         "fourfifths_invalid_problem"),
    list(list(shares = NULL), "the overall basis needs the groups' `shares`", "fourfifths_bad_argument"))
  for (case in cases) {
    arguments <- list(R = R4, d = d3, stages = list(screen, interview), n_predictors = 3, shares = shares3)
    arguments[names(case[[1]])] <- case[[1]]
    expect_error(do.call(staged_study, arguments), case[[2]], class = case[[3]])
  }
})

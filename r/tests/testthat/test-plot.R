# The figures as a reader sees them: what each panel draws (from the
# device's display list for base graphics, from the built plot for ggplot2),
# the axes covering the data and the references, and clean rendering at
# journal sizes.

# What a base-graphics figure drew: per panel the axis limits, and the texts
# of margins, legends and labels.
drawn <- function(draw, width, height = 4) {
  pdf(NULL, width = width, height = height)
  on.exit(dev.off())
  dev.control("enable")
  draw()
  calls <- recordPlot()[[1]]
  name <- vapply(calls, function(e) {
    f <- e[[2]][[1]]
    if (is.list(f) && !is.null(f$name)) f$name else ""
  }, "")
  args <- lapply(calls, function(e) e[[2]][-1])
  list(limits = lapply(args[name == "C_plot_window"], function(a) c(x = a[[1]], y = a[[2]])),
       margins = unlist(lapply(args[name == "C_mtext"], function(a) as.character(a[[1]]))),
       texts = unlist(lapply(args[name == "C_text"], function(a) as.character(a[[2]]))))
}

example <- function(d = c(-1.00, -0.23, -0.09, -0.33, 0)) {
  R <- matrix(c(1.00, 0.24, 0.00, 0.19, 0.30, 0.24, 1.00, 0.12, 0.16, 0.30, 0.00, 0.12, 1.00, 0.51,
                0.18, 0.19, 0.16, 0.51, 1.00, 0.28, 0.30, 0.30, 0.18, 0.28, 1.00), 5,
              dimnames = list(NULL, c("ability", "interview", "conscientiousness", "biodata",
                                      "performance")))
  list(study = selection_study(R, d, "regression", 4, applicant_ratio = 3, sr = c(0.1, 0.3)),
       front = pareto_front(R, d, 4, applicant_ratio = 3))
}

test_that("the study figure marks the references, the boundary and the requested ratios", {
  study <- example()$study
  wide <- drawn(function() plot(study), 7, 3.5)
  narrow <- drawn(function() plot(study), 3.5, 5.5)
  expect_length(wide$limits, 2)
  expect_identical(narrow[c("margins", "texts")], wide[c("margins", "texts")])
  expect_true(all(c("4/5", "parity", sprintf("%.3f", study$boundary[["sr"]]), "Adverse impact",
                    "Quality of those selected") %in% wide$margins))
  expect_true(all(c("AI", "SRA (majority)", "SRI (minority)", "requested SR",
                    "four-fifths boundary", "M (all)", "MA (majority)", "MI (minority)") %in% wide$texts))
  expect_equal(wide$limits[[1]][c("x1", "x2")], c(x1 = 0, x2 = 1))
  expect_gte(wide$limits[[1]][["y2"]], 1.05)
})

test_that("axes cover adverse-impact ratios above 1 when the minority group scores higher", {
  study <- example(d = c(1.00, 0.23, 0.09, 0.33, 0))$study
  rows <- study$rows[study$rows$status == "ok", ]
  figure <- drawn(function() plot(study), 7, 3.5)
  expect_gte(figure$limits[[1]][["y2"]], max(rows$ai))
  quality <- unlist(rows[c("m", "ma", "mi")])
  expect_gte(figure$limits[[2]][["y2"]], max(quality, na.rm = TRUE))
  expect_false("four-fifths boundary" %in% figure$texts)
})

test_that("the front figure marks the four-fifths point, the references and a zero line for weights", {
  front <- example()$front
  figure <- drawn(function() plot(front), 7, 3.5)
  four_fifths <- front$validity[front$kind == "four_fifths"]
  expect_true(sprintf("four-fifths point (validity %.3f)", four_fifths) %in% figure$texts)
  expect_true(all(c("ability", "interview", "conscientiousness", "biodata") %in% figure$texts))
  expect_equal(sum(figure$margins == "4/5"), 2)
  for (panel in figure$limits) expect_true(panel[["x1"]] <= min(front$ai) && panel[["x2"]] >= 1)
  expect_lte(figure$limits[[2]][["y1"]], 0)
})

test_that("a front fitted in a sample adds the expected front, in both figures", {
  front <- example()$front
  R <- matrix(c(1.00, 0.24, 0.00, 0.19, 0.30, 0.24, 1.00, 0.12, 0.16, 0.30, 0.00, 0.12, 1.00, 0.51,
                0.18, 0.19, 0.16, 0.51, 1.00, 0.28, 0.30, 0.30, 0.18, 0.28, 1.00), 5)
  fitted <- pareto_front(R, c(-1.00, -0.23, -0.09, -0.33, 0), 4, applicant_ratio = 3, sample_size = 60)
  figure <- drawn(function() plot(fitted), 7, 3.5)
  expect_true("expected on new applicants (N = 60)" %in% figure$texts)
  expect_lte(figure$limits[[1]][["y1"]], min(fitted$shrunk_validity))
  expect_lte(figure$limits[[1]][["x1"]], min(fitted$shrunk_ai))
  expect_false(any(grepl("expected", drawn(function() plot(front), 7, 3.5)$texts)))
  skip_if_not_installed("ggplot2")
  built <- ggplot2::ggplot_build(ggplot2::autoplot(fitted))
  expect_true("expected on new applicants" %in% levels(built$plot$data$series))
})

test_that("both figures render at 3.5 and 7 inches, 72 to 300 dpi, without warnings", {
  figures <- example()
  for (size in list(c(3.5, 5.5, 300), c(7, 3.5, 150), c(7, 3.5, 72))) {
    for (what in names(figures)) {
      file <- tempfile(fileext = ".png")
      png(file, width = size[1], height = size[2], units = "in", res = size[3])
      expect_silent(plot(figures[[what]]))
      dev.off()
      expect_gt(file.size(file), 5000)
    }
  }
  swept <- plot(figures$study, sweep = seq(0.01, 0.99, 0.01))
  expect_equal(sum(swept$rows$kind == "sweep"), 99)
})

test_that("autoplot() returns ggplots with the panels, references and marks", {
  skip_if_not_installed("ggplot2")
  figures <- example()
  study <- ggplot2::autoplot(figures$study, sweep = seq(0.01, 0.99, 0.01))
  expect_s3_class(study, "ggplot")
  built <- ggplot2::ggplot_build(study)
  geoms <- vapply(study$layers, function(l) class(l$geom)[1], "")
  expect_true(all(c("GeomHline", "GeomLine", "GeomText", "GeomPoint", "GeomVline") %in% geoms))
  expect_identical(levels(built$data[[which(geoms == "GeomLine")]]$PANEL), c("1", "2"))
  expect_setequal(unlist(lapply(built$data[geoms == "GeomHline"], `[[`, "yintercept")), c(0.8, 1))
  expect_equal(built$layout$panel_params[[1]]$x.range, c(0, 1.03), tolerance = 1e-9)
  expect_identical(study$scales$get_scales("x")$name, "overall selection ratio (SR)")
  expect_setequal(levels(study$data$series), c("AI", "SRA (majority)", "SRI (minority)",
                                              "M (all)", "MA (majority)", "MI (minority)"))
  higher <- ggplot2::ggplot_build(ggplot2::autoplot(example(d = c(1, 0.23, 0.09, 0.33, 0))$study))
  expect_gte(higher$layout$panel_params[[1]]$y.range[2],
             max(example(d = c(1, 0.23, 0.09, 0.33, 0))$study$rows$ai, na.rm = TRUE))
  front <- ggplot2::autoplot(figures$front, ncol = 1)
  built <- ggplot2::ggplot_build(front)
  geoms <- vapply(front$layers, function(l) class(l$geom)[1], "")
  points <- built$data[[which(geoms == "GeomPoint")]]
  expect_equal(points$x, 0.8, tolerance = 1e-9)
  expect_equal(nrow(built$layout$layout), 2)
  expect_true(built$layout$panel_params[[1]]$x.range[2] >= 1)
  expect_true(all(c("ability", "biodata") %in% levels(front$data$series)))
})

test_that("a study of several groups draws a labelled line per group, in both systems", {
  R <- matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3)
  d <- rbind(White = c(0, 0, 0), Black = c(-1, -0.2, -0.5), Hispanic = c(-0.6, -0.1, -0.3),
             Asian = c(0.2, -0.1, 0.1))
  study <- selection_study(R, d, c(1, 0.5), 2, shares = c(60, 15, 15, 10), sweep = seq(0.01, 0.99, 0.01))
  wide <- drawn(function() plot(study), 7, 3.8)
  narrow <- drawn(function() plot(study), 3.5, 6)
  expect_identical(narrow[c("margins", "texts")], wide[c("margins", "texts")])
  expect_true(all(c("4/5", "parity", sprintf("%.3f", study$pool_boundary$sr)) %in% wide$margins))
  expect_true(all(c(rownames(d), "pool boundary") %in% wide$texts))
  expect_gte(wide$limits[[1]][["y2"]], 1.05)
  expect_lte(wide$limits[[2]][["y1"]], min(study$rows$quality[study$rows$kind == "sweep"]))
  for (size in list(c(3.5, 6, 300), c(7, 3.8, 72))) {
    file <- tempfile(fileext = ".png")
    png(file, width = size[1], height = size[2], units = "in", res = size[3])
    expect_silent(plot(study))
    dev.off()
    expect_gt(file.size(file), 5000)
  }
  skip_if_not_installed("ggplot2")
  figure <- ggplot2::autoplot(study, ncol = 1)
  built <- ggplot2::ggplot_build(figure)
  geoms <- vapply(figure$layers, function(l) class(l$geom)[1], "")
  expect_true(all(c("GeomHline", "GeomLine", "GeomText", "GeomPoint", "GeomVline") %in% geoms))
  lines <- built$data[[which(geoms == "GeomLine")]]
  expect_identical(length(unique(lines$group)), 4L)
  expect_setequal(unique(lines$colour), c("#000000", "#0072B2", "#D55E00", "#009E73"))
  expect_identical(levels(figure$data$group), rownames(d))
  boundaries <- built$data[[which(geoms == "GeomPoint")]]
  expect_equal(sort(boundaries$x), sort(study$boundaries$sr[study$boundaries$state == "found"]))
})

test_that("staged, observed and sample figures draw their references and labels at journal sizes", {
  R <- matrix(c(1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1), 3, 3,
              dimnames = rep(list(c("ability", "interview", "performance")), 2))
  d <- rbind(White = c(0, 0, 0), Black = c(-1, -0.2, -0.5), Hispanic = c(-0.6, -0.1, -0.3))
  stages <- list(list(name = "screen", weights = c(ability = 1), entrants = 0.5),
                 list(name = "interview", weights = c(ability = 0.5, interview = 1), still_in = 0.1))
  staged <- staged_study(R, d, stages, 2, shares = c(White = 60, Black = 25, Hispanic = 15))
  two <- selection_study(diag(2), c(-1, 0), c(1, 1), 2, applicant_ratio = 4)
  figures <- list(
    staged = list(staged, c("White", "Black", "Hispanic", "one stage, same SR"), c("4/5", "parity")),
    observed = list(observed_impact(c(a = 100, b = 40, c = 30), c(a = 30, b = 6, c = 8)),
                    c("impact ratio", "95% interval (adjusted log)"), c("4/5", "parity")),
    plans = list(sample_impact(two, seq(20, 100, 20), sr = 0.3),
                 c("impact ratio below 4/5", "Fisher's exact test (one-sided) significant (0.05)"), NULL),
    plan = list(sample_impact(two, 40, sr = 0.3), "P(impact ratio at most r)", c("4/5", "parity")))
  for (what in names(figures)) {
    figure <- figures[[what]]
    for (size in list(c(3.5, 6, 300), c(7, 3.6, 150))) {
      seen <- drawn(function() plot(figure[[1]]), size[1], size[2])
      expect_true(all(figure[[2]] %in% seen$texts), label = paste(what, size[1], "legend"))
      expect_true(all(figure[[3]] %in% seen$margins), label = paste(what, size[1], "references"))
      file <- tempfile(fileext = ".png")
      png(file, width = size[1], height = size[2], units = "in", res = size[3])
      expect_silent(plot(figure[[1]]))
      dev.off()
      expect_gt(file.size(file), 5000)
    }
  }
  skip_if_not_installed("ggplot2")
  built <- ggplot2::ggplot_build(ggplot2::autoplot(staged))
  single <- staged$rows[staged$rows$selection == "single", ]
  shapes <- vapply(built$plot$layers,
                   function(l) if (is.null(l$aes_params$shape)) 0 else l$aes_params$shape, 0)
  circles <- built$data[[which(shapes == 21)]]
  expect_equal(sort(circles$y), sort(single$ai_cumulative_highest))
  expect_true(all(circles$x == 2))
})

test_that("both bases plot, with the study's rows or a sweep", {
  majority <- modified(worked, list(basis = "majority", applicant_ratio = NULL))
  for (arguments in list(worked, majority)) {
    file <- tempfile(fileext = ".png")
    png(file, width = 900, height = 450)
    study <- do.call(selection_study, arguments)
    expect_invisible(plot(study))
    swept <- plot(study, sweep = seq(0.01, 0.99, 0.01))
    dev.off()
    expect_equal(sum(swept$rows$kind == "sweep"), 99)
    expect_gt(file.size(file), 10000)
  }
})

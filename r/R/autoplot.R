# ggplot2 versions of the figures (ggplot2 is suggested, not required): each
# returns a ggplot object, faceted into the same panels as plot(), with the
# same colours, line types and references, for a researcher to restyle.

# The data pronoun of ggplot2's aesthetics.
globalVariables(".data")

need_ggplot2 <- function() {
  if (!requireNamespace("ggplot2", quietly = TRUE))
    stop("autoplot() needs the ggplot2 package: install.packages(\"ggplot2\")", call. = FALSE)
}

autoplot.fourfifths_study <- function(object, sweep = NULL, ncol = 2, ...) {
  need_ggplot2()
  if (!is.null(sweep)) object <- analysis(object$problem, object$names, sweep)
  data <- study_curves(object)
  rows <- data$rows
  panels <- c("Adverse impact", "Quality of those selected")
  quality <- if (data$overall) c(m = "M (all)", ma = "MA (majority)", mi = "MI (minority)")
             else c(ma = "MA (majority)", mi = "MI (minority)")
  series <- c(ai = "AI", sra = "SRA (majority)", sri = "SRI (minority)", quality)
  long <- do.call(rbind, lapply(names(series), function(column) data.frame(
    panel = panels[1 + (column %in% names(quality))], series = series[[column]],
    sr = rows$sr, value = rows[[column]])))
  long$panel <- factor(long$panel, panels)
  long$series <- factor(long$series, unique(series))
  styles <- setNames(rep_len(line_types, length(series)), series)
  styles[quality] <- line_types[if (data$overall) 1:3 else 2:3]
  colours <- setNames(palette_ff[match(styles, line_types)], series)
  references <- data.frame(panel = factor(panels[1], panels), y = c(0.8, 1),
                           label = c("four-fifths rule", "parity"))
  plot <- ggplot2::ggplot(long, ggplot2::aes(.data$sr, .data$value)) +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[1, ], colour = "grey45",
                        linetype = "44") +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[2, ], colour = "grey45",
                        linetype = "13") +
    ggplot2::geom_line(ggplot2::aes(colour = .data$series, linetype = .data$series),
                       linewidth = 0.8, na.rm = TRUE) +
    ggplot2::scale_colour_manual(NULL, values = colours, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::scale_linetype_manual(NULL, values = styles, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::geom_text(ggplot2::aes(x = 0.01, y = .data$y, label = .data$label), data = references,
                       hjust = 0, vjust = c(1.4, -0.4), size = 3, colour = "grey25") +
    ggplot2::geom_blank(ggplot2::aes(x = 0, y = 1.12), data = references[1, ]) +
    ggplot2::scale_x_continuous(data$ratio_label, limits = c(0, 1),
                                expand = ggplot2::expansion(mult = c(0, 0.03))) +
    ggplot2::facet_wrap(~panel, scales = "free_y", ncol = ncol) +
    ggplot2::labs(y = NULL) +
    ggplot2::expand_limits(y = 0) +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom", panel.spacing = ggplot2::unit(1.2, "lines"))
  requested <- object$rows[object$rows$kind == "requested" & object$rows$status == "ok", ]
  if (nrow(requested))
    plot <- plot + ggplot2::geom_point(ggplot2::aes(.data$sr, .data$ai),
                                       data = cbind(requested, panel = factor(panels[1], panels)),
                                       shape = 21, fill = "white", size = 2)
  boundary <- object$boundary[["sr"]]
  if (!is.na(boundary))
    plot <- plot + ggplot2::geom_vline(xintercept = boundary, colour = "grey45", linetype = "13") +
      ggplot2::geom_point(ggplot2::aes(x = .data$sr, y = .data$ai),
                          data = data.frame(sr = boundary, ai = 0.8, panel = factor(panels[1], panels)),
                          size = 2)
  plot
}

autoplot.fourfifths_pareto <- function(object, ncol = 2, ...) {
  need_ggplot2()
  front <- as.data.frame(unclass(object), check.names = FALSE)
  panels <- c("Validity", "Predictor weights")
  columns <- weight_columns(front)
  long <- rbind(
    data.frame(panel = panels[1], series = "validity", ai = front$ai, value = front$validity),
    do.call(rbind, lapply(columns, function(column) data.frame(
      panel = panels[2], series = column, ai = front$ai, value = front[[column]]))))
  # A front fitted in a sample: the same weightings on new applicants, dashed.
  shrunk <- !is.null(front$shrunk_ai)
  expected <- character()
  if (shrunk) {
    expected <- "expected on new applicants"
    long <- rbind(long, data.frame(panel = panels[1], series = expected, ai = front$shrunk_ai,
                                   value = front$shrunk_validity))
  }
  long$panel <- factor(long$panel, panels)
  series <- c("validity", expected, columns)
  long$series <- factor(long$series, series)
  colours <- setNames(c("#000000", if (shrunk) "grey40",
                        rep_len(palette_ff[-1], length(columns))), series)
  styles <- setNames(c("solid", if (shrunk) "22", rep_len(line_types[-1], length(columns))), series)
  at <- front$kind == "four_fifths"
  plot <- ggplot2::ggplot(long, ggplot2::aes(.data$ai, .data$value)) +
    ggplot2::geom_vline(xintercept = 0.8, colour = "grey45", linetype = "44") +
    ggplot2::geom_vline(xintercept = 1, colour = "grey45", linetype = "13") +
    ggplot2::geom_text(ggplot2::aes(x = .data$x, y = Inf, label = .data$label),
                       data = data.frame(panel = factor(panels[1], panels), x = c(0.8, 1),
                                         label = c("4/5", "parity")),
                       hjust = 1.15, vjust = c(1.5, 3.2), size = 3, colour = "grey25") +
    ggplot2::geom_hline(ggplot2::aes(yintercept = 0),
                        data = data.frame(panel = factor(panels[2], panels)), colour = "grey60") +
    ggplot2::geom_line(ggplot2::aes(colour = .data$series, linetype = .data$series), linewidth = 0.8) +
    ggplot2::scale_colour_manual(NULL, values = colours, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::scale_linetype_manual(NULL, values = styles, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::facet_wrap(~panel, scales = "free_y", ncol = ncol) +
    ggplot2::expand_limits(x = c(0.8, 1), y = 0) +
    ggplot2::labs(x = sprintf("adverse-impact ratio at %s SR %s", attr(object, "basis"),
                              format(attr(object, "sr"))), y = NULL) +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom", panel.spacing = ggplot2::unit(1.2, "lines"))
  if (any(at))
    plot <- plot + ggplot2::geom_point(
      ggplot2::aes(.data$ai, .data$value),
      data = data.frame(panel = factor(panels[1], panels), ai = front$ai[at], value = front$validity[at]),
      shape = 23, fill = palette_ff[3], size = 3)
  plot
}

autoplot.fourfifths_group_study <- function(object, sweep = NULL, ncol = 2, ...) {
  need_ggplot2()
  if (!is.null(sweep)) object <- group_analysis(object$problem, sweep)
  data <- group_curves(object)
  rows <- data$rows
  panels <- c("AI against the highest group", "Quality of each group's selected")
  long <- rbind(data.frame(panel = panels[1], group = rows$group, sr = rows$sr, value = rows$ai_highest),
                data.frame(panel = panels[2], group = rows$group, sr = rows$sr, value = rows$quality))
  long$panel <- factor(long$panel, panels)
  long$group <- factor(as.character(long$group), data$groups)
  colours <- setNames(data$colours, data$groups)
  types <- setNames(data$types, data$groups)
  # The references are labelled in the margin beside the panel, where no
  # line can run.
  references <- data.frame(panel = factor(panels[1], panels), y = c(0.8, 1),
                           label = c("4/5", "parity"))
  plot <- ggplot2::ggplot(long, ggplot2::aes(.data$sr, .data$value)) +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[1, ], colour = "grey45",
                        linetype = "44") +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[2, ], colour = "grey45",
                        linetype = "13") +
    ggplot2::geom_line(ggplot2::aes(colour = .data$group, linetype = .data$group),
                       linewidth = 0.8, na.rm = TRUE) +
    ggplot2::scale_colour_manual(NULL, values = colours, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::scale_linetype_manual(NULL, values = types, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::geom_text(ggplot2::aes(x = Inf, y = .data$y, label = .data$label), data = references,
                       hjust = -0.15, size = 3, colour = "grey25") +
    ggplot2::coord_cartesian(clip = "off") +
    ggplot2::scale_x_continuous(data$ratio_label, limits = c(0, 1),
                                expand = ggplot2::expansion(mult = c(0, 0.03))) +
    ggplot2::facet_wrap(~panel, scales = "free_y", ncol = ncol) +
    ggplot2::labs(y = NULL) +
    ggplot2::expand_limits(y = 0) +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom", legend.key.width = ggplot2::unit(2, "lines"),
                   panel.spacing = ggplot2::unit(3, "lines"),
                   plot.margin = ggplot2::margin(5.5, 32, 5.5, 5.5))
  found <- object$boundaries[object$boundaries$state == "found" &
                               object$boundaries$group %in% data$groups, ]
  if (nrow(found))
    plot <- plot + ggplot2::geom_point(
      ggplot2::aes(.data$sr, .data$value, fill = .data$group),
      data = data.frame(panel = factor(panels[1], panels), sr = found$sr, value = 0.8,
                        group = factor(found$group, data$groups)),
      shape = 21, size = 2, show.legend = FALSE) +
      ggplot2::scale_fill_manual(values = colours, guide = "none")
  if (object$pool_boundary$state == "found")
    plot <- plot + ggplot2::geom_vline(xintercept = object$pool_boundary$sr, colour = "grey45",
                                       linetype = "13")
  plot
}

autoplot.fourfifths_group_pareto <- function(object, ...) {
  need_ggplot2()
  data <- group_front_curves(object)
  target <- attr(object, "target")
  series <- c("smallest AI", data$groups)
  long <- rbind(
    data.frame(series = "smallest AI", ai = data$ends$min_ai, validity = data$ends$validity),
    data.frame(series = as.character(data$points$group), ai = data$points$ai, validity = data$points$validity))
  long$series <- factor(long$series, series)
  # The smallest AI wide and grey under the groups' lines, so that the binding group's shows.
  colours <- setNames(c("grey55", data$colours), series)
  styles <- setNames(c("solid", data$types), series)
  widths <- setNames(c(1.8, rep(0.7, length(data$groups))), series)
  plot <- ggplot2::ggplot(long, ggplot2::aes(.data$ai, .data$validity)) +
    ggplot2::geom_vline(xintercept = target, colour = "grey45", linetype = "44") +
    ggplot2::annotate("text", x = target, y = Inf, label = if (target == 0.8) "4/5" else format(target),
                      hjust = 1.15, vjust = 1.5, size = 3, colour = "grey25") +
    ggplot2::geom_line(ggplot2::aes(colour = .data$series, linetype = .data$series,
                                    linewidth = .data$series)) +
    ggplot2::geom_point(data = long[long$series == "smallest AI", ], size = 1) +
    ggplot2::scale_colour_manual(NULL, values = colours) +
    ggplot2::scale_linetype_manual(NULL, values = styles) +
    ggplot2::scale_linewidth_manual(NULL, values = widths) +
    ggplot2::expand_limits(y = 0) +
    ggplot2::labs(x = data$label, y = "validity (r with the criterion)") +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom")
  if (nrow(data$at))
    plot <- plot + ggplot2::geom_point(ggplot2::aes(.data$min_ai, .data$validity), data = data$at,
                                       shape = 23, fill = palette_ff[6], size = 3)
  plot
}

autoplot.fourfifths_staged_study <- function(object, ncol = 2, ...) {
  need_ggplot2()
  data <- stage_curves(object)
  curves <- data$curves
  panels <- c("Funnel: share of the group still in", "Cumulative AI against the highest group")
  long <- rbind(data.frame(panel = panels[1], group = curves$group, stage = curves$stage,
                           value = curves$still_in),
                data.frame(panel = panels[2], group = curves$group, stage = curves$stage,
                           value = curves$ai))
  long$panel <- factor(long$panel, panels)
  colours <- setNames(data$colours, data$groups)
  types <- setNames(data$types, data$groups)
  references <- data.frame(panel = factor(panels[2], panels), y = c(0.8, 1), label = c("4/5", "parity"))
  single <- cbind(data$single, panel = factor(panels[2], panels))
  ggplot2::ggplot(long, ggplot2::aes(.data$stage, .data$value)) +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[1, ], colour = "grey45",
                        linetype = "44") +
    ggplot2::geom_hline(ggplot2::aes(yintercept = .data$y), data = references[2, ], colour = "grey45",
                        linetype = "13") +
    ggplot2::geom_text(ggplot2::aes(x = Inf, y = .data$y, label = .data$label), data = references,
                       hjust = -0.15, size = 3, colour = "grey25") +
    ggplot2::geom_line(ggplot2::aes(colour = .data$group, linetype = .data$group), linewidth = 0.8) +
    ggplot2::geom_point(ggplot2::aes(colour = .data$group), size = 1.5) +
    ggplot2::geom_point(ggplot2::aes(.data$stage, .data$ai, colour = .data$group), data = single,
                        shape = 21, size = 3, stroke = 0.9, show.legend = FALSE) +
    ggplot2::scale_colour_manual(NULL, values = colours, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::scale_linetype_manual(NULL, values = types, guide = ggplot2::guide_legend(ncol = 2)) +
    ggplot2::scale_x_continuous(data$stage_label, breaks = 0:data$k) +
    ggplot2::coord_cartesian(clip = "off") +
    ggplot2::facet_wrap(~panel, ncol = ncol) +
    ggplot2::expand_limits(y = c(0, 1)) +
    ggplot2::labs(y = NULL, caption = "Open circles: one stage on the last stage's composite at the same SR") +
    ggplot2::theme_bw() +
    ggplot2::theme(legend.position = "bottom", legend.key.width = ggplot2::unit(2, "lines"),
                   panel.spacing = ggplot2::unit(3, "lines"),
                   plot.margin = ggplot2::margin(5.5, 32, 5.5, 5.5))
}

# Bobko, Roth & Potosky (1999): four predictors and job performance, as the
# Pareto literature uses them (De Corte, Lievens & Sackett, 2007). Effect
# sizes minority minus majority (the source tables them majority minus
# minority, as positive numbers).
bobko1999 <- local({
  variables <- c("ability", "interview", "conscientiousness", "biodata", "performance")
  list(R = matrix(c(1.00, 0.24, 0.00, 0.19, 0.30,
                    0.24, 1.00, 0.12, 0.16, 0.30,
                    0.00, 0.12, 1.00, 0.51, 0.18,
                    0.19, 0.16, 0.51, 1.00, 0.28,
                    0.30, 0.30, 0.18, 0.28, 1.00), 5, 5,
                  dimnames = list(variables, variables)),
       d = c(ability = -1.00, interview = -0.23, conscientiousness = -0.09, biodata = -0.33,
             performance = 0),
       n_predictors = 4L, minority_share = 0.25, sr = 0.10)
})

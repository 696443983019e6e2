#pragma once

// Chi-square distribution with a real number of degrees of freedom (> 0).
// Cumulative probability of x, the regularised lower incomplete gamma function P(dof/2, x/2).
double ChiSquareCdf(double x, double dof);
// The x where the cumulative probability is p (0 < p < 1), to about 1e-12 relative, also for millions
// of degrees of freedom.
double ChiSquareQuantile(double p, double dof);
// The standard normal quantile of p (0 < p < 1).
double NormalQuantile(double p);

// The speed of sound in water, which sets how deep a water bath's echoes lie:
// scanners assume 1540 m/s, water at room temperature is nearer 1480.
#pragma once

// m/s at `celsius`.
inline double water_speed_of_sound(double celsius)
{
    const double t = celsius;
    return 1402.385 + 5.038813 * t - 0.05799136 * t * t + 0.0003287156 * t * t * t - 1.398845e-6 * t * t * t * t +
           2.78786e-9 * t * t * t * t * t;
}

// How much deeper a row lies in water at `celsius` than the scanner shows it.
inline double water_depth_factor(double celsius)
{
    return water_speed_of_sound(celsius) / 1540.0;
}

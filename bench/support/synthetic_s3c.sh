# Sourced by the bench scripts: synthetic precise-orbit (S3C) records on circular orbits.
#
# gen OBJECTS INTERVAL_S RADIUS_KM PERIOD_S  writes, on standard output, one record per object and
# epoch over 2008-05-27 (label, object, date and time, x y z km, clock us, flags, errors km and us);
# the objects are spread evenly along the orbit, on slightly different inclinations.
gen() {
  awk -v n="$1" -v dt="$2" -v r="$3" -v per="$4" 'BEGIN {
    pi = 3.14159265358979
    for (t = 0; t < 86400; t += dt) {
      hh = int(t / 3600); mi = int((t % 3600) / 60); ss = t % 60
      for (k = 1; k <= n; k++) {
        a = 2 * pi * (t / per + k / n); inc = 0.96 + 0.01 * k
        printf "S3C %2d 08  5 27 %2d %2d %11.8f %15.6f %15.6f %15.6f %15.6f  0  0 %s\n", k, hh, mi, ss,
          r * cos(a), r * sin(a) * cos(inc), r * sin(a) * sin(inc), 100 + k + t * 1e-6,
          "0.1E-04 0.1E-04 0.1E-04 0.2E-04"
      }
    }
  }'
}

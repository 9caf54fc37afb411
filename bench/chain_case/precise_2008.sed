# Edits of the example configuration for the chain benchmark: the 2008-05-27 station-day with IGS final
# orbits and clocks, real antenna calibrations (linked into the working directory), a constellation
# status made for the day, and a quiet log (the output records as in the example).
s/^  silent_log = \.false\./  silent_log = .true./
s/^  igspcvfile     = 'antennas\.pcv'/  igspcvfile     = 'ngs_abs.pcv'/
s/^  gpscstatusfile = 'gps_constellation\.txt'/  gpscstatusfile = 'gcs.txt'/
s/^  antexfile      = 'antennas\.atx'/  antexfile      = 'igs05_1480.atx'/
s/^  precise_instead_of_eph_orbits = \.false\./  precise_instead_of_eph_orbits = .true./
s/^  interpolated_precise_satclocks_instead_of_broadcast = \.false\./  interpolated_precise_satclocks_instead_of_broadcast = .true./

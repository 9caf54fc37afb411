// Fixed maxima of a run: they size every per-receiver and per-satellite table.
#pragma once

namespace quelmar {

constexpr int maxrec = 6;            // receivers known in one run
constexpr int maxsat = 35;           // satellite slots, addressed by PRN 1..35
constexpr int maxfre = 9;            // carrier/frequency slots (band numbers 1..9)
constexpr int max_type_obs = 7;      // observable-code slots of an OB1 record
constexpr int maxant = 900;          // antenna types held from the calibration file
constexpr int maxunk_ds = 8;         // estimated parameters of a CDS correction
constexpr int nkind_obs = 2;         // kind_obs: 1 code, 2 carrier phase
constexpr int ncomb_obs = 15;        // comb_obs: the combinations of observables
constexpr int line1_length = 20000;  // the input line buffer
constexpr int reader_columns = 1000; // what the message readers look at

} // namespace quelmar

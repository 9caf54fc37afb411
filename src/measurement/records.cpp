// The output records of an observation (to be written).
#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

void write_ticlassic4(frame::Run&) {}
void write_model(frame::Run&) {}
void write_wus(frame::Run&) {}
void write_i2i(frame::Run&) {}
void write_pr6_rows(frame::Run&) {}
void write_wui(frame::Run&) {}

} // namespace quelmar::measurement

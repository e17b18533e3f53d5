// Figures the application can report about itself when QUORVEL_MEASURE=1: start-up to first
// paint, and the delay from a status report's arrival to the repaint of a meter it moved.
#pragma once

#include <cstdint>

namespace quorvel::ui::measure {

bool enabled();
void markProcessStart();
void markFirstPaint();    // first paint of the main window
void markReportArrival(); // receive thread, when frames start to wait
void markMeterPainted();  // a meter repainted because of a report
void printSummary();      // on stderr, at exit

} // namespace quorvel::ui::measure

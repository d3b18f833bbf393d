// The serial devices a user may pick a tracker or motor controller from.
#pragma once

#include <wx/arrstr.h>

// /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM*, each kind sorted.
wxArrayString serial_port_names();

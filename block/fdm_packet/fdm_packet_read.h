// Reading a packet back: big-endian words and floating point from the
// packet's bytes (packet_fields.h), for the tools and tests that take
// datagrams apart, with the version-17 layout.
#pragma once

#include "fdm_packet.h"
#include "packet_fields.h"

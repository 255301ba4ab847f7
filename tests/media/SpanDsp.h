// spandsp's G.711 and DTMF detector, the independent references of these tests.
#pragma once

extern "C" {
#include <spandsp.h>
}

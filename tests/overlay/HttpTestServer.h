#pragma once

// The benchmarks include the loopback server from here.
#include "support/HttpTestServer.h"

// The annealing driver: burn-in, first search, optimisation and second search.
#pragma once

#include "base/state.hpp"

void anneal();

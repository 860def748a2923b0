// The annealing driver: burn-in, first search, optimisation and second search.
#pragma once

#include "state.hpp"

void anneal();

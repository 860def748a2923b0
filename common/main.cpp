#include "run.hpp"

int main() { return run_program(); }

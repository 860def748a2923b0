// The readers of clockml's dating inputs: the text read as a dates file and as a
// calibrations file over five fixed names (one with a blank, one ending in a date), the
// calibrations checked against tip ages, and the dates read from the names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "fuzz_support.hpp"
#include "input/calibrations.hpp"
#include "input/tip_dates.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    const std::string text = fuzz_text(data, size);
    const std::vector<std::string> names = {"a", "b", "c d", "e_2001.5", "f"};
    try {
        (void)read_tip_dates(text, "dates", names);
    } catch (const FuzzStop&) {
    }
    try {
        const std::vector<Calibration> cals = read_calibrations(text, "calibrations", names);
        check_calibrations(cals, {0, 1.5, 3, 0.25, 10}, "calibrations");
        (void)enclosing_calibrations(cals);
    } catch (const FuzzStop&) {
    }
    try {
        double year = 0;
        (void)parse_date(text, year);
        (void)tip_dates_from_names({text, "x_2001"});
    } catch (const FuzzStop&) {
    }
    return 0;
}

// float_round_trip.cpp: the GCC 12 fault behind -fno-tree-vectorize, kept where we can see
// it. On x86-64 its vectoriser packs two static_cast<double>(static_cast<float>(x)) values
// into one register, and the narrowing and widening it emits for them are then folded away
// as if they did nothing: both values keep their double precision.
//
// Run without arguments, the program must see both values of every case rounded to binary32
// and fails otherwise (built with the project's flags, that checks that they keep the fault
// out). Run with --report, it says whether this build shows the fault and fails only on a
// result that is neither the rounded nor the unrounded value.
#include <cstdio>
#include <cstring>

namespace {

// Two doubles arrive in registers, are each rounded to binary32 and widened back, and land
// side by side: the vectoriser turns the two stores into one.
__attribute__((noinline)) void roundPairToBinary32(double x, double y, double* out) {
    out[0] = static_cast<double>(static_cast<float>(x));
    out[1] = static_cast<double>(static_cast<float>(y));
}

struct Case {
    double x, y;
    double wantX, wantY;  // the nearest binary32 values
    const char* what;
};
const Case kCases[] = {
    {0.1, 0.2, 0x1.99999ap-4, 0x1.99999ap-3, "0.1 and 0.2 to nearest"},
    {0x1.000001p+0, 0x1.000003p+0, 1.0, 0x1.000004p+0, "ties to even, down and up"},
};

}  // namespace

int main(int argc, char** argv) {
    const bool report = argc > 1 && std::strcmp(argv[1], "--report") == 0;
    int unrounded = 0, other = 0;
    for (const Case& c : kCases) {
        volatile double x = c.x, y = c.y;  // opaque: no folding at compile time
        double got[2];
        roundPairToBinary32(x, y, got);
        const char* verdict = "WRONG";
        if (got[0] == c.wantX && got[1] == c.wantY) {
            verdict = "rounded";
        } else if (got[0] == c.x && got[1] == c.y) {
            verdict = "NOT ROUNDED";
            ++unrounded;
        } else {
            ++other;
        }
        std::printf("%-26s (%a, %a) -> (%a, %a), binary32 (%a, %a): %s\n", c.what, c.x, c.y, got[0], got[1], c.wantX,
                    c.wantY, verdict);
    }
    std::printf("compiler %s\n", __VERSION__);
    if (other > 0) {
        std::printf("results that are neither rounded nor unrounded: a different fault\n");
        return 1;
    }
    if (!report) {
        if (unrounded == 0) return 0;
        std::printf("binary32 roundings lost: the build flags no longer keep the vectoriser fault out "
                    "(cmake/VelkanoFlags.cmake needs -fno-tree-vectorize)\n");
        return 1;
    }
    if (unrounded > 0) {
        std::printf("fault present: vectorised, this compiler drops the roundings; -fno-tree-vectorize stays\n");
    } else {
        std::printf("fault absent: vectorised, this compiler keeps the roundings; if no supported compiler "
                    "shows it any more, -fno-tree-vectorize could go\n");
    }
    return 0;
}

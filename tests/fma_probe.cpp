// A program that holds a fused multiply-add, built with -mfma
// -ffp-contract=fast: tools/check_no_fma.sh must find it (check_no_fma_test).
__attribute__((noinline)) double multiplyAdd(double a, double b, double c) { return a * b + c; }

int main() {
    volatile double a = 2, b = 3, c = 4;
    return multiplyAdd(a, b, c) == 10 ? 0 : 1;
}

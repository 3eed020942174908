// A program built with resources in the updater's form, for the payload tests: it does nothing,
// and says so with exit code 0, so that a copy whose resources were replaced shows it still runs.
int main() {
    return 0;
}

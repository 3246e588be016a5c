// sitebase: the headless host program of the library.
#include <cstdio>

int main() {
    std::puts("sitebase");
    return 0;
}

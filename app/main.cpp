// marionette: a jointed figure hanging from a pivot, pushed about by the arrow keys.
#include "application.h"

int main(int argc, char** argv) {
    runApplication(argc, argv);
    return 0;
}

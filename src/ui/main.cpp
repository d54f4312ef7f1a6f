#include "ui/app_main.h"

int main(int argc, char** argv) {
    return ostrand::ui::runOstrand(argc, argv);
}

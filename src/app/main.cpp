#include "app/application.h"

int main(int argc, char** argv) {
    app::CQuindleApp application(argc, argv);
    return application.startApplication();
}

#include "app/application.h"

int main(int argc, char *argv[])
{
    KartaxApplication app(argc, argv);
    return app.run();
}

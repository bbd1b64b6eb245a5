#include "app/application.h"

int main(int argc, char* argv[])
{
    return runMediatar(argc, argv);
}

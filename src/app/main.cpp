#include "panel/panelapp.h"

int main(int argc, char *argv[])
{
    return RunPanel(argc, argv);
}

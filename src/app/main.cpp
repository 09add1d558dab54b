#include "panel/panelapp.h"

int main(int argc, char *argv[])
{
    return runPanel(argc, argv);
}

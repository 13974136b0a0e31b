#include "app/U_Program.h"

int main(int argc, char** argv) {
    return nelvo::RunProgram(argc, argv);
}

// Runs a test sketch on the host: setup, which prints all it prints.

#include "Arduino.h"

host_serial Serial;

int main()
{
    setup();
    return 0;
}

// A second process for the single-instance tests: takes the instance lock at the path given,
// says what it found, and holds it until its standard input closes or it is killed.
#include <cstdio>
#include <iostream>
#include <string>

#include <QCoreApplication>

#include "app/InstanceGuard.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    InstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    switch (guard.acquire()) {
    case InstanceGuard::State::Created:
        std::puts("created");
        break;
    case InstanceGuard::State::AlreadyExists:
        std::puts("exists");
        break;
    case InstanceGuard::State::CannotCreate:
        std::puts("failed");
        break;
    }
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

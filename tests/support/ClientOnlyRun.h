// What every client-only update run of the tests shares: its question and its seams.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "update/UpdateSeams.h"

inline const std::string kClientOnlyQuestion =
    "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, что на "
    "данном компьютере установлены КЛИЕНТСКАЯ часть обновляемой программы.\rПродолжить "
    "обновление?";

// A run that takes its payload from `carrier`; reaching the server part fails the test.
inline TUpdateSeams ClientOnlySeams(const std::string& carrier) {
    TUpdateSeams seams;
    seams.PayloadCarrier = carrier;
    seams.ServerPart = [](const InstallationLayout&, const std::string&, const std::string&) {
        ADD_FAILURE() << "a client-only run reached the server part";
        return std::unique_ptr<TServerPart>();
    };
    return seams;
}

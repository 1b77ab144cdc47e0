/* tests/records_fixture.h: a fake device and program folder holding valid records, made by
 * record_bytes.h rather than by the updater's encoder. */
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fake_platform.h"
#include "firmware/records.h"
#include "record_bytes.h"
#include "run/run_state.h"

inline const std::string kDeviceRoot = "E:\\";
inline const std::string kProgramDirectory = "C:\\Tools\\Update\\";
inline const std::string kDevicePath = kDeviceRoot + "version.dat";
inline const std::string kPackagePath = kProgramDirectory + "update.udx";

class RecordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakePlatform_Reset();
        ResetRunState();
        snprintf(State.DeviceRoot, sizeof State.DeviceRoot, "%s", kDeviceRoot.c_str());
        snprintf(State.ProgramDirectory, sizeof State.ProgramDirectory, "%s",
                 kProgramDirectory.c_str());
    }
    void TearDown() override { EXPECT_EQ(FakeFiles_OpenHandles(), 0) << "a handle was left open"; }

    static void PutDevice(std::uint32_t region, std::uint32_t model, const char* version) {
        FakeFiles_Put(kDevicePath, record_bytes::DeviceRecord(region, model, version));
    }
    static void PutPackage(std::uint32_t region, std::uint32_t model, const char* version) {
        FakeFiles_Put(kPackagePath, record_bytes::PackageHeader(region, model, version));
    }
};

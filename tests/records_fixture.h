/* tests/records_fixture.h: a fake device and program folder holding valid records. */
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fake_platform.h"
#include "firmware/records.h"
#include "run/run_state.h"

inline const std::string kDeviceRoot = "E:\\";
inline const std::string kProgramDirectory = "C:\\Tools\\Update\\";
inline const std::string kDevicePath = kDeviceRoot + "version.dat";
inline const std::string kPackagePath = kProgramDirectory + "update.udx";

inline Bytes MakeRecord(const RecordLayout& layout, std::uint32_t region, std::uint32_t model,
                        const char* version) {
    Bytes record(layout.size, 0);
    EXPECT_TRUE(EncodeRecord(record.data(), layout, region, model, version));
    return record;
}

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
        FakeFiles_Put(kDevicePath, MakeRecord(kDeviceRecord, region, model, version));
    }
    static void PutPackage(std::uint32_t region, std::uint32_t model, const char* version) {
        FakeFiles_Put(kPackagePath, MakeRecord(kPackageHeader, region, model, version));
    }
};

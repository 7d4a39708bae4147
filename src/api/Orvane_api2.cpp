// SPDX-License-Identifier: Apache-2.0
// The exported TFCM_ functions, one Orvane_api2*.cpp file per topic; this one: the library's lifecycle
// and the device manager (list, open, close, hot-plug). Each function checks its arguments, then makes
// one call through a pattern of api/ApiCall.h.
#include <atomic>
#include <cstring>
#include <memory>

#include "Orvane_api.h"
#include "api/ApiCall.h"
#include "api/DeviceHandle.h"
#include "api/HandleRegistry.h"
#include "device/DeviceManager.h"
#include "runtime/Config.h"
#include "runtime/LogCustom.h"
#include "transfer/WebServer.h"

namespace {
const char *const VERSION = "1.0.2";
const char *const LOGPREFIX = "OrvaneSDK";
constexpr size_t kVersionChars = 5;

/// Set by TFCM_Initialize, cleared by TFCM_Shutdown (both called from one thread).
std::atomic<bool> g_hasInitialized{false};

/// Opens through one of the device manager's open calls and hands the application a handle cell.
template <typename Open> int OpenWithCell(TfDeviceHandle *device, Open &&open)
{
    int ret = 0;
    auto cell = std::make_unique<Device>();
    cell->pDevice = open(ret);
    if (cell->pDevice == nullptr) {
        *device = nullptr;
    } else {
        *device = cell.get();
        HandleRegistry::Instance().Add(std::move(cell)); // freed by TFCM_CloseDevice
    }
    return InterRet2ExternRet(ret);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Lifecycle
// ---------------------------------------------------------------------------------------------

int TFCM_Initialize(void)
{
    return GuardedCall(__func__, []() -> int {
        if (g_hasInitialized) {
            TFLOG("ReInitialized,do not call TFCM_Shutdown");
            return TF_ERROR_ALREADY_INITIALIZED;
        }
        LogCustom::Initance(LOGPREFIX, LOGPREFIX, Config::GetInstance()->logToConsole);
        TFLOG("-----------------------------------------------------");
        TFLOG("Version: %s", VERSION);
        DeviceManager::GetInstance()->Start();
        g_hasInitialized = true;
        return TF_OK;
    });
}

int TFCM_Shutdown(void)
{
    return GuardedCall(__func__, []() -> int {
        if (!g_hasInitialized) {
            TFLOG("do not call TFCM_Initialize");
            return TF_ERROR_NOT_INITIALIZED;
        }
        DeviceManager *manager = DeviceManager::GetInstance();
        manager->Stop();
        manager->Join();
        // The workers end with the manager; the server goes last, whatever job still holds it.
        DeviceManager::Release();
        WebServer::getInstance()->Shutdown();
        TFLOG("=====================================================");
        LogCustom::Release();
        Config::Release();
        g_hasInitialized = false;
        return TF_OK;
    });
}

int TFCM_GetSDKVersion(char *version)
{
    if (version == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        std::memcpy(version, VERSION, kVersionChars); // no terminating NUL, as documented
        return TF_OK;
    });
}

// ---------------------------------------------------------------------------------------------
// Device manager
// ---------------------------------------------------------------------------------------------

int TFCM_GetDeviceCount(uint32_t *count)
{
    if (count == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        *count = static_cast<uint32_t>(DeviceManager::GetInstance()->GetCameraCount());
        return TF_OK;
    });
}

int TFCM_GetDeviceListInfo(TfDeviceInfo *list, uint32_t count)
{
    if (list == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceInfoList(list, count));
    });
}

int TFCM_GetDeviceInfo(TfDeviceInfo *info, uint32_t index)
{
    if (info == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceInfo(info, index));
    });
}

int TFCM_OpenDevice(const char *uri, TfDeviceHandle *device)
{
    if (uri == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        if (manager->checkOpenedByURI(uri)) {
            return TF_ERROR_ALREADY_OPENED;
        }
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDevice(uri, ret); });
    });
}

int TFCM_OpenDeviceByAlias(const char *alias, TfDeviceHandle *device)
{
    if (alias == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        if (manager->checkOpenedByAlias(alias)) {
            return TF_ERROR_ALREADY_OPENED;
        }
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDeviceByAlias(alias, ret); });
    });
}

int TFCM_OpenDeviceByIP(const char *ip, TfDeviceHandle *device)
{
    if (ip == nullptr || device == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager *manager = DeviceManager::GetInstance();
        return OpenWithCell(device, [&](int &ret) { return manager->OpenDeviceByIP(ip, ret); });
    });
}

int TFCM_CloseDevice(TfDeviceHandle *device)
{
    if (device == nullptr || *device == nullptr) {
        return TF_ERROR_INVALID_HANDLE;
    }
    return GuardedCall(__func__, [&]() -> int {
        // The value is looked up among the live handles before anything is read through it; the calls
        // running on it end first, and no call enters it from now on.
        bool live = false;
        std::unique_ptr<Device> cell = HandleRegistry::Instance().Close(*device, &live);
        if (!live) {
            return TF_ERROR_INVALID_HANDLE;
        }
        *device = nullptr;
        ReleaseCell(std::move(cell));
        return TF_OK;
    });
}

int TFCM_SetHotPlugStatusCallback(TfHotPlugCallback callback)
{
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager::GetInstance()->SetHotPlugStatusCallback(callback);
        return TF_OK;
    });
}

int TFCM_SetHotPlugStatusCallback_(TfHotPlugCallbackEx callback, void *context)
{
    if (context == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        DeviceManager::GetInstance()->SetHotPlugStatusCallback_(callback, context);
        return TF_OK;
    });
}

int TFCM_GetDeviceIP(const char *uri, char *ip)
{
    if (ip == nullptr) {
        return TF_ERROR_NULL_POINTER;
    }
    return GuardedCall(__func__, [&]() -> int {
        return InterRet2ExternRet(DeviceManager::GetInstance()->GetDeviceIP(uri, ip));
    });
}

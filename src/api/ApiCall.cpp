// SPDX-License-Identifier: Apache-2.0
// The handle check and the result translation shared by every exported function.
#include "api/ApiCall.h"
#include "api/HandleRegistry.h"

#include <cerrno>
#include <ctime>

#include "device/BaseDevice.h"
#include "device/DeviceManager.h"

int InterRet2ExternRet(int interRet)
{
    // The two documented ranges, whole: -107...-101 (the unnamed -106 included) and -19...0.
    const bool upperRange = interRet >= kStatusStreaming && interRet <= kStatusAlreadyInitialized;
    const bool lowerRange = interRet >= kStatusUpgradeNoCallback && interRet <= kStatusOk;
    if (upperRange || lowerRange) {
        return interRet;
    }
    TFLOG("invalid param: interRet:%d", interRet);
    return kStatusNotSupported;
}

HandleLease::HandleLease(Device *device)
    : m_entered(device != nullptr ? HandleRegistry::Instance().Enter(device) : nullptr)
{
}

HandleLease::~HandleLease()
{
    if (m_entered != nullptr) {
        ReleaseCell(HandleRegistry::Instance().Leave(m_entered));
    }
}

void ReleaseCell(std::unique_ptr<Device> cell)
{
    if (cell != nullptr) {
        DeviceManager::GetInstance()->ReleaseDevice(cell->pDevice);
    }
}

int checkSessionValid(Device *device, BaseSession **session)
{
    if (device == nullptr || device->pDevice == nullptr) {
        return TF_ERROR_INVALID_HANDLE;
    }
    if (!DeviceManager::GetInstance()->CheckDevicePtrVaild(device->pDevice)) {
        return TF_ERROR_INVALID_HANDLE;
    }
    BaseSession *first = device->pDevice->GetSession(0);
    if (first == nullptr) {
        return TF_ERROR_INVALID_HANDLE;
    }
    *session = first;
    return 0;
}

void SleepRestartGap()
{
    timespec request{0, 500000};
    timespec remaining{};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR) {
        request = remaining;
    }
}

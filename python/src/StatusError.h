// SPDX-License-Identifier: Apache-2.0
// A failed library call on its way to Python: the status code, its name and what was being done.
#pragma once

#include <stdexcept>
#include <string>

namespace orvane::python {

class StatusError : public std::runtime_error
{
public:
    StatusError(int status, const std::string &message);

    int Status() const { return m_status; }

    /// "TF_ERROR_NOT_CONFIRMED" for -105; "TF_STATUS_<n>" for a code the header does not name.
    static std::string NameOf(int status);

    /// Throws a StatusError for any status but TF_OK, saying which call failed.
    static void Check(int status, const char *call);

    /// Makes every StatusError reach Python as orvane.OrvaneError (or the subclass for its code).
    static void RegisterTranslator();

private:
    int m_status;
};

} // namespace orvane::python

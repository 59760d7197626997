// SPDX-License-Identifier: MIT
#include "platform/apperror.h"

#include <exception>
#include <new>

QString describeCurrentException()
{
    try {
        throw;
    } catch (const AppError& e) {
        return e.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

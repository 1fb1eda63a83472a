#include "cds_error.h"

#include <utility>

namespace {

std::string& LastErrorText()
{
    static std::string text;
    return text;
}

CdsDebugSink& DebugSink()
{
    static CdsDebugSink sink;
    return sink;
}

}  // namespace

void SetCdsDebugSink(CdsDebugSink sink)
{
    DebugSink() = std::move(sink);
}

const std::string& CdsLastErrorText()
{
    return LastErrorText();
}

std::string ReportCdsError(const std::string& operation, const std::string& message, const std::string& detail)
{
    std::string text = operation + " - " + message;
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    LastErrorText() = text;
    if (DebugSink()) {
        DebugSink()(text);
    }
    return text;
}

void ThrowCDSError(const std::string& operation, const std::string& message, const std::string& detail)
{
    throw UpdaterError(ReportCdsError(operation, message, detail));
}

void ThrowCdsPrecondition(const std::string& operation, const char* ending)
{
    throw UpdaterError(operation + " - " + ending);
}

// Every test, run by CTest or by hand from the build tree, prints through the plugin built with it.
#include <QByteArray>

namespace {
const bool pluginNamed =
    qEnvironmentVariableIsSet("VOLTRANE_PRINTING_PLUGIN") ||
    qputenv("VOLTRANE_PRINTING_PLUGIN", QByteArray(VOLTRANE_PRINTING_PLUGIN_FILE));
} // namespace

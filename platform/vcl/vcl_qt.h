// The layer's own helpers between CP932 texts and Qt strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

QString vcl_qstring(std::string_view cp932);
std::string vcl_cp932(const QString& text);

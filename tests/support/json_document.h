#pragma once

// Reading tenlo-cli's --json output back with a real JSON parser (Qt's), for the tests of the
// CLI: link Qt6::Core where this is included.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

namespace tenlo::testing {

// The text as one JSON object and nothing else; a parse error fails the test.
inline QJsonObject JsonDocument(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << text;
    EXPECT_TRUE(doc.isObject()) << text;
    return doc.object();
}

// A string member, "null" for null.
inline std::string JsonText(const QJsonValue& value) {
    return value.isNull() ? "null" : value.toString().toStdString();
}

}  // namespace tenlo::testing

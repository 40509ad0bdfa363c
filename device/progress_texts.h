#pragma once

#include <string_view>

namespace tenlo {

// The progress display's message line, per operation body.
inline constexpr std::string_view kTextReadProgram = "プログラムメモリー読み出し中...";
inline constexpr std::string_view kTextWriteProgram = "プログラムメモリー書き込み中...";
inline constexpr std::string_view kTextVerifyProgram = "プログラムメモリー ベリファイ中...";
inline constexpr std::string_view kTextCompareProgram = "プログラムメモリーコンペア中...";
inline constexpr std::string_view kTextWriteConfigShort = "コンフィグメモリー書き込み中...";
inline constexpr std::string_view kTextReadConfigShort = "コンフィグメモリー読み出し中...";
inline constexpr std::string_view kTextCompareConfigShort = "コンフィグメモリー コンペア中...";
inline constexpr std::string_view kTextWriteConfig =
    "コンフィギュレーション・メモリー書き込み中...";
inline constexpr std::string_view kTextReadConfig = "コンフィギュレーション・メモリー読み込み中...";
inline constexpr std::string_view kTextWriteData = "データメモリー書き込み中...";
inline constexpr std::string_view kTextReadData = "データメモリー読み出し中...";
inline constexpr std::string_view kTextCompareData = "データメモリーコンペア中...";
inline constexpr std::string_view kTextErase = "イレース中...";

}  // namespace tenlo

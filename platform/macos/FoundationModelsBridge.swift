// The on-device language model behind two C entry points (FoundationModels has no C or
// Objective-C interface). Every use of the framework is behind a macOS 26 availability check.
import Foundation

#if canImport(FoundationModels)
import FoundationModels

@available(macOS 26.0, *)
@Generable
struct WorkPiiTerm {
    @Guide(description: "テキスト中の表記そのまま")
    var text: String

    @Guide(description: "種別", .anyOf(["person", "address", "organization"]))
    var kind: String
}

@available(macOS 26.0, *)
@Generable
struct WorkClassification {
    @Guide(
        description: "業務カテゴリ",
        .anyOf([
            "mail", "meeting", "chat", "document", "spreadsheet", "development", "research",
            "business_system", "ai_usage", "other",
        ]))
    var category: String

    @Guide(description: "作業内容を表す20文字以内の日本語ラベル。個人名や顧客名は含めない")
    var taskLabel: String

    @Guide(description: "業務内容を表す日本語キーワード(最大5個)。個人情報は含めない", .count(1...5))
    var keywords: [String]

    @Guide(
        description: "画面テキストに残っている個人の氏名・自宅住所・取引先の個人名などの文字列(なければ空)",
        .count(0...10))
    var piiTerms: [WorkPiiTerm]
}
#endif

private func duplicateCString(_ text: String) -> UnsafeMutablePointer<CChar>? {
    return strdup(text)
}

private func jsonText(_ object: [String: Any]) -> UnsafeMutablePointer<CChar>? {
    guard let data = try? JSONSerialization.data(withJSONObject: object, options: []),
        let text = String(data: data, encoding: .utf8)
    else {
        return duplicateCString("{\"ok\":false,\"error\":\"answer could not be encoded\"}")
    }
    return duplicateCString(text)
}

/// Holds the answer of the model task until the waiting thread reads it.
private final class AnswerSlot: @unchecked Sendable {
    var object: [String: Any] = ["ok": false, "error": "classification task did not finish"]
}

@_cdecl("quill_fm_availability")
public func quillFMAvailability(_ otherReason: UnsafeMutablePointer<UnsafeMutablePointer<CChar>?>?)
    -> Int32
{
    otherReason?.pointee = nil
    #if canImport(FoundationModels)
    if #available(macOS 26.0, *) {
        switch SystemLanguageModel.default.availability {
        case .available:
            return 0
        case .unavailable(let reason):
            switch reason {
            case .deviceNotEligible: return 1
            case .appleIntelligenceNotEnabled: return 2
            case .modelNotReady: return 3
            @unknown default:
                otherReason?.pointee = duplicateCString(String(describing: reason))
                return 4
            }
        }
    }
    #endif
    return -1
}

@_cdecl("quill_fm_classify")
public func quillFMClassify(
    _ instructions: UnsafePointer<CChar>, _ prompt: UnsafePointer<CChar>
) -> UnsafeMutablePointer<CChar>? {
    #if canImport(FoundationModels)
    if #available(macOS 26.0, *) {
        let instructionsText = String(cString: instructions)
        let promptText = String(cString: prompt)
        let slot = AnswerSlot()
        let done = DispatchSemaphore(value: 0)
        Task.detached {
            defer { done.signal() }
            do {
                let session = LanguageModelSession(
                    model: SystemLanguageModel.default, tools: [], instructions: instructionsText)
                let options = GenerationOptions(
                    sampling: nil, temperature: nil, maximumResponseTokens: nil)
                let response = try await session.respond(
                    to: promptText, generating: WorkClassification.self,
                    includeSchemaInPrompt: true, options: options)
                let answer = response.content
                slot.object = [
                    "ok": true,
                    "category": answer.category,
                    "taskLabel": answer.taskLabel,
                    "keywords": answer.keywords,
                    "piiTerms": answer.piiTerms.map { ["text": $0.text, "kind": $0.kind] },
                ]
            } catch {
                slot.object = ["ok": false, "error": String(describing: error)]
            }
        }
        done.wait()
        return jsonText(slot.object)
    }
    #endif
    return jsonText(["ok": false, "error": "FoundationModels requires macOS 26 or later"])
}

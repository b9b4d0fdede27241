// The on-device language model behind two C entry points (FoundationModels has no C or
// Objective-C interface). Every use of the framework is behind a macOS 26 availability check;
// the framework is linked weakly, so the programs still start on older systems.
import Foundation
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

/// The name of what went wrong, never the error's description: a refusal's description
/// quotes the transcript, and with it the screen text of the prompt.
@available(macOS 26.0, *)
private func errorName(_ error: any Error) -> String {
    if let generationError = error as? LanguageModelSession.GenerationError {
        switch generationError {
        case .exceededContextWindowSize: return "exceededContextWindowSize"
        case .assetsUnavailable: return "assetsUnavailable"
        case .guardrailViolation: return "guardrailViolation"
        case .unsupportedGuide: return "unsupportedGuide"
        case .unsupportedLanguageOrLocale: return "unsupportedLanguageOrLocale"
        case .decodingFailure: return "decodingFailure"
        case .rateLimited: return "rateLimited"
        case .concurrentRequests: return "concurrentRequests"
        case .refusal: return "refusal"
        @unknown default: return "unknownGenerationError"
        }
    }
    if error is CancellationError { return "cancelled" }
    let bridged = error as NSError
    return "\(bridged.domain) \(bridged.code)"
}

private func duplicateCString(_ text: String) -> UnsafeMutablePointer<CChar>? {
    return strdup(text)
}

/// The `length` UTF-8 bytes at `bytes` as text, NUL characters included.
private func decodedText(_ bytes: UnsafePointer<CChar>, _ length: Int) -> String {
    return String(decoding: UnsafeRawBufferPointer(start: bytes, count: length), as: UTF8.self)
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
    return -1
}

@_cdecl("quill_fm_classify")
public func quillFMClassify(
    _ instructions: UnsafePointer<CChar>, _ instructionsLength: Int,
    _ prompt: UnsafePointer<CChar>, _ promptLength: Int
) -> UnsafeMutablePointer<CChar>? {
    if #available(macOS 26.0, *) {
        let instructionsText = decodedText(instructions, instructionsLength)
        let promptText = decodedText(prompt, promptLength)
        let slot = AnswerSlot()
        let done = DispatchSemaphore(value: 0)
        Task.detached {
            defer { done.signal() }
            do {
                let session = LanguageModelSession(
                    model: SystemLanguageModel.default, tools: [], instructions: instructionsText)
                // Default generation options: the model's own sampling, temperature and length.
                let response = try await session.respond(
                    to: promptText, generating: WorkClassification.self,
                    includeSchemaInPrompt: true)
                let answer = response.content
                slot.object = [
                    "ok": true,
                    "category": answer.category,
                    "taskLabel": answer.taskLabel,
                    "keywords": answer.keywords,
                    "piiTerms": answer.piiTerms.map { ["text": $0.text, "kind": $0.kind] },
                ]
            } catch {
                slot.object = ["ok": false, "error": errorName(error)]
            }
        }
        done.wait()
        return jsonText(slot.object)
    }
    return jsonText(["ok": false, "error": "FoundationModels requires macOS 26 or later"])
}

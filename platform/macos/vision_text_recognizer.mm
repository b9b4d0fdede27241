#include "platform/macos/vision_text_recognizer.h"

#include "platform/macos/cg_image.h"
#include "platform/macos/ns_string.h"

#import <Foundation/Foundation.h>
#import <Vision/Vision.h>

Result<std::vector<TextObservation>> VisionTextRecognizer::recognizeText(const Image& image) {
    CGImageRef cgImage = CGImagePort::from(image);
    if (cgImage == nullptr) return PortError{"the image is not a Core Graphics image"};
    @autoreleasepool {
        VNRecognizeTextRequest* request = [[VNRecognizeTextRequest alloc] init];
        request.recognitionLevel = VNRequestTextRecognitionLevelAccurate;
        request.recognitionLanguages = @[ @"ja-JP", @"en-US" ];
        request.usesLanguageCorrection = YES;
        VNImageRequestHandler* handler = [[VNImageRequestHandler alloc] initWithCGImage:cgImage
                                                                                options:@{}];
        NSError* error = nil;
        if (![handler performRequests:@[ request ] error:&error]) {
            if (error == nil) return PortError{"text recognition failed"};
            return PortError{optionalString(error.localizedDescription).value_or("")};
        }
        std::vector<TextObservation> observations;
        NSArray* results = request.results;
        if (results == nil) return observations;
        for (VNRecognizedTextObservation* observation in results) {
            TextObservation out;
            VNRecognizedText* best = [observation topCandidates:1].firstObject;
            if (best != nil) {
                out.topCandidate =
                    TextCandidate{optionalString(best.string).value_or(""), best.confidence};
            }
            const CGRect box = observation.boundingBox;
            out.boundingBox = {box.origin.x, box.origin.y, box.size.width, box.size.height};
            observations.push_back(std::move(out));
        }
        return observations;
    }
}

// Descriptor parsing over the bytes a device may send, well-formed and not.
#include <gtest/gtest.h>

#include "fakeusbdriver.h"
#include "hardware/usb/descriptors.h"

namespace ZmCoreLib_v4::usb {
namespace {

using testing_support::Bytes;
using testing_support::configurationDescriptor;
using testing_support::endpointDescriptor;
using testing_support::interfaceDescriptor;
using testing_support::operator+;

TEST(ConfigurationParsing, InterfacesAndEndpointsInDescriptorOrderSkippingOtherDescriptors) {
    const Bytes classSpecific{5, 0x24, 1, 2, 3};
    const Bytes companion{6, 0x30, 3, 0, 0x00, 0x04};
    const auto parsed = parseConfiguration(configurationDescriptor(
        interfaceDescriptor(0, 0, 2) + classSpecific + endpointDescriptor(0x86, 2, 512) + companion +
            endpointDescriptor(0x02, 3, 64) + interfaceDescriptor(0, 1, 1) +
            endpointDescriptor(0x81, 1, 0x1400),
        1));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->interfaces.size(), 2u);
    const auto& first = parsed->interfaces[0].endpoints;
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].address, 0x86);
    EXPECT_EQ(first[0].transferType(), TransferType::Bulk);
    ASSERT_TRUE(first[0].companion);
    EXPECT_EQ(first[0].companion->maxBurst, 3);
    EXPECT_FALSE(first[1].companion);
    EXPECT_EQ(first[1].transferType(), TransferType::Interrupt);
    EXPECT_EQ(parsed->interfaces[1].alternateSetting, 1);
    EXPECT_EQ(parsed->interfaces[1].endpoints[0].transferType(), TransferType::Isochronous);
}

TEST(ConfigurationParsing, KeepsAtMostEightInterfaces) {
    Bytes body;
    for (int i = 0; i < 10; ++i) body = body + interfaceDescriptor(static_cast<std::uint8_t>(i), 0, 0);
    const auto parsed = parseConfiguration(configurationDescriptor(body, 10));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->interfaces.size(), kMaxInterfaces);
}

struct MalformedCase {
    const char* name;
    Bytes bytes;
};

void PrintTo(const MalformedCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class MalformedConfiguration : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedConfiguration, IsRejected) {
    EXPECT_FALSE(parseConfiguration(GetParam().bytes));
}

Bytes withTotalLength(Bytes bytes, std::uint16_t total) {
    bytes[2] = static_cast<std::uint8_t>(total);
    bytes[3] = static_cast<std::uint8_t>(total >> 8);
    return bytes;
}

const Bytes kGoodBody = interfaceDescriptor(0, 0, 1) + endpointDescriptor(0x86, 2, 512);

INSTANTIATE_TEST_SUITE_P(
    Descriptors, MalformedConfiguration,
    ::testing::Values(
        MalformedCase{"Empty", {}}, MalformedCase{"HeadOnlyPartly", {9, 2, 9, 0}},
        MalformedCase{"WrongType", Bytes{9, 4, 9, 0, 0, 0, 0, 0, 0}},
        MalformedCase{"TotalBelowHead", withTotalLength(configurationDescriptor({}), 4)},
        MalformedCase{"TotalBeyondBytes", withTotalLength(configurationDescriptor(kGoodBody), 200)},
        MalformedCase{"ZeroLengthDescriptor", configurationDescriptor(Bytes{0, 4, 0, 0})},
        MalformedCase{"DescriptorRunsPastTotal", configurationDescriptor(Bytes{9, 4, 0, 0})},
        MalformedCase{"OneStrayByte", configurationDescriptor(kGoodBody + Bytes{7})},
        MalformedCase{"ShortInterface", configurationDescriptor(Bytes{5, 4, 0, 0, 0})},
        MalformedCase{"ShortEndpoint",
                      configurationDescriptor(interfaceDescriptor(0, 0, 1) + Bytes{4, 5, 0x86, 2})},
        MalformedCase{"EndpointBeforeInterface", configurationDescriptor(endpointDescriptor(0x86, 2, 512))},
        MalformedCase{
            "FewerEndpointsThanAnnounced",
            configurationDescriptor(interfaceDescriptor(0, 0, 2) + endpointDescriptor(0x86, 2, 512))},
        MalformedCase{"MoreEndpointsThanAnnounced",
                      configurationDescriptor(kGoodBody + endpointDescriptor(0x02, 2, 512))},
        MalformedCase{"ShortCompanion", configurationDescriptor(kGoodBody + Bytes{4, 0x30, 0, 0})}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(StringParsing, TextOnlyFromWellFormedStringDescriptors) {
    struct Case {
        Bytes bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {testing_support::stringDescriptor(u"Камера"), u"Камера"},
        {{2, 3}, u""},                   // no text
        {{4, 4, 'A', 0}, u""},           // not a string descriptor
        {{8, 3, 'A', 0}, u""},           // claims more bytes than came
        {{5, 3, 'A', 0, 'B'}, u"A"},     // odd trailing byte ignored
        {{4, 3, 'A', 0, 'B', 0}, u"A"},  // bytes beyond the announced length ignored
        {{}, u""},
    };
    for (const Case& c : cases) EXPECT_EQ(parseStringDescriptor(c.bytes), c.text);
}

TEST(StringParsing, LanguageChoice) {
    EXPECT_EQ(chooseLanguageId(parseLanguageIds(testing_support::languageDescriptor({0x0419, 0x0409}))),
              0x0409);
    EXPECT_EQ(chooseLanguageId(parseLanguageIds(testing_support::languageDescriptor({0x0419, 0x0407}))),
              0x0419);
    EXPECT_EQ(chooseLanguageId(parseLanguageIds(Bytes{6, 3, 0x19, 0x04})), 0);  // truncated list
}

TEST(BosParsing, CapabilitiesAndMalformedOnes) {
    const Bytes usb2Extension{7, 0x10, 2, 2, 0, 0, 0};
    const Bytes superSpeed{10, 0x10, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07};
    auto bos = [](const Bytes& body, std::uint8_t count) {
        const auto total = static_cast<std::uint16_t>(5 + body.size());
        return Bytes{5, 0x0F, static_cast<std::uint8_t>(total), static_cast<std::uint8_t>(total >> 8),
                     count} +
               body;
    };
    const auto parsed = parseBos(bos(usb2Extension + superSpeed, 2));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->capabilities.size(), 2u);
    EXPECT_EQ(parsed->capabilities[1].capabilityType, 3);
    EXPECT_EQ(parsed->capabilities[1].data.size(), 7u);

    EXPECT_FALSE(parseBos(bos(usb2Extension, 2)));                  // count does not match
    EXPECT_FALSE(parseBos(bos(Bytes{2, 0x10}, 1)));                 // shorter than a head
    EXPECT_FALSE(parseBos(bos(Bytes{7, 0x04, 2, 0, 0, 0, 0}, 1)));  // not a capability
    EXPECT_FALSE(parseBos(bos(Bytes{9, 0x10, 2, 0, 0, 0, 0}, 1)));  // runs past the total
    EXPECT_FALSE(parseBos(Bytes{5, 0x0F, 40, 0, 0}));               // total beyond the bytes
    EXPECT_FALSE(parseBos(Bytes{5, 0x0F, 3, 0, 0}));                // total below the head
}

TEST(DeviceDescriptorParsing, FieldsAndControlPacketSize) {
    const auto usb2 = parseDeviceDescriptor(testing_support::deviceDescriptor(0xAB10, 0x2115, 0x0200, 64));
    ASSERT_TRUE(usb2);
    EXPECT_EQ(usb2->vendorId, 0xAB10);
    EXPECT_EQ(usb2->productId, 0x2115);
    EXPECT_EQ(usb2->controlMaxPacketSize(), 64);
    EXPECT_EQ(parseDeviceDescriptor(testing_support::deviceDescriptor(0xAB10, 1, 0x0310, 9))
                  ->controlMaxPacketSize(),
              512);
    EXPECT_EQ(parseDeviceDescriptor(testing_support::deviceDescriptor(0xAB10, 1, 0x0300, 200))
                  ->controlMaxPacketSize(),
              0);

    Bytes truncated = testing_support::deviceDescriptor(0xAB10, 1);
    truncated.pop_back();
    EXPECT_FALSE(parseDeviceDescriptor(truncated));
}

TEST(EndpointPacketSize, MultipliersOfHighSpeedAndUsb3) {
    struct Case {
        std::uint8_t attributes;
        std::uint16_t wMaxPacketSize;
        std::optional<SuperSpeedCompanion> companion;
        bool usb3;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {2, 512, {}, false, 512},
        {1, 0x1400, {}, false, 1024 * 3},  // high-bandwidth: two extra transactions
        {2, 1024, SuperSpeedCompanion{15, 0, 0}, true, 1024 * 16},
        {1, 1024, SuperSpeedCompanion{1, 2, 0}, true, 1024 * 2 * 3},
        {2, 1024, SuperSpeedCompanion{15, 0, 0}, false, 1024},  // companion ignored below USB 3
    };
    for (const Case& c : cases) {
        EndpointDescriptor endpoint;
        endpoint.attributes = c.attributes;
        endpoint.maxPacketSize = c.wMaxPacketSize;
        endpoint.companion = c.companion;
        EXPECT_EQ(effectiveMaxPacketSize(endpoint, c.usb3), c.expected)
            << int(c.attributes) << " " << c.wMaxPacketSize;
    }
}

}  // namespace
}  // namespace ZmCoreLib_v4::usb

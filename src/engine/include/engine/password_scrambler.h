#pragma once

#include <functional>
#include <string>
#include <string_view>

// The proxy password is not stored in plain text in "config.ini". The stored form, reversed, is:
// a letter announcing k (65 + k, k from 3 to 25), k filler characters (codes 65..93), the
// character m of the smallest code in the password, then for each password character i (from 1)
// its code + m + i as four decimal digits. Example: "abc" with k = 3 and filler "QRS" is
// "DQRSa019501970199", stored as "991079105910aSRQD". Four digits hold passwords of up to 9,489
// characters.
namespace engine {

// A uniform draw from [low, high], both included.
using RandomDraw = std::function<int(int low, int high)>;

// The stored form of a password; an empty password stays empty. The generator is seeded from the
// clock at every call, so two saves of one password normally differ.
std::string scramblePassword(std::string_view password);

// The same with the given draws (k first, then the fillers), for reproducible output.
std::string scramblePassword(std::string_view password, const RandomDraw& draw);

// The password behind a stored text. Throws platform::EConvertError
// ("'%s' is not a valid integer value") when a digit group is not a decimal number, naming the
// group, or when the text is shorter than its first character announces, naming the text.
// A trailing group of fewer than four characters is ignored.
std::string unscramblePassword(std::string_view stored);

} // namespace engine

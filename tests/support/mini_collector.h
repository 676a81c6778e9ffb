#pragma once

// A small collector on a loopback port for real-time runs: answers the upgrade
// request with an accept from block 0, stores the data blocks, and answers the
// completion query with "R" once it holds every block (else a resend list).
// Its frames are written out by hand from a checksum of its own, so a fault
// in the tool's framing cannot hide itself.

#include "platform/udp_socket.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MiniCollector {
public:
    MiniCollector() {
        socket_.Create();
        socket_.Bind(0);
        socket_.SetNonBlocking();
        thread_ = std::thread([this] { Serve(); });
    }
    ~MiniCollector() {
        stop_ = true;
        thread_.join();
    }

    std::uint16_t Port() const { return socket_.LocalPort(); }
    void ReplyTo(std::uint16_t toolPort) { toolPort_ = toolPort; }

    // The image as the collector assembled it, hex decoded.
    std::string Image() const {
        std::lock_guard lock(mutex_);
        std::string bytes;
        for (const auto& [index, hex] : blocks_)
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return bytes;
    }
    int Queries() const { return queries_; }
    std::chrono::steady_clock::time_point FirstQueryTime() const {
        std::lock_guard lock(mutex_);
        return firstQuery_;
    }

    static std::string Checksum(const std::string& payload) {
        unsigned crc = 0xFFFF;
        for (unsigned char c : payload) {
            crc ^= c;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        static const char digits[] = "0123456789ABCDEF";
        return {digits[(crc >> 4) & 0xF], digits[crc & 0xF], digits[(crc >> 12) & 0xF],
                digits[(crc >> 8) & 0xF]};
    }
    static std::string Frame(const std::string& payload) {
        return "\x1B" + payload + Checksum(payload) + "\x05";
    }

private:
    void Serve() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            UdpSocket::Datagram datagram;
            if (socket_.Receive(10230, datagram) != UdpSocket::ReadStatus::Ok) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const std::string& f = datagram.bytes;
            if (f.size() < 6 || f.front() != '\x1B' || f.back() != '\x05')
                continue;
            const std::string payload = f.substr(1, f.size() - 6);
            if (Checksum(payload) != f.substr(f.size() - 5, 4))
                continue;
            Handle(payload, datagram.sender);
        }
    }

    void Handle(const std::string& payload, const std::string& sender) {
        std::lock_guard lock(mutex_);
        if (payload.starts_with("LU")) {
            expected_ = std::stoi(payload.substr(payload.size() - 4), nullptr, 16);
            socket_.SendTo(Frame("R0000"), sender, toolPort_);
        } else if (payload.starts_with("UD")) {
            blocks_[std::stoi(payload.substr(2, 4), nullptr, 16)] = payload.substr(6);
        } else if (payload == "EN") {
            if (queries_++ == 0)
                firstQuery_ = std::chrono::steady_clock::now();
            std::string missing;
            int count = 0;
            for (int i = 0; i < expected_; ++i)
                if (!blocks_.count(i)) {
                    missing += Hex4(i);
                    ++count;
                }
            socket_.SendTo(Frame(count == 0 ? "R" : "R" + Hex4(count) + missing), sender,
                           toolPort_);
        }
    }

    static std::string Hex4(int value) {
        char text[16];
        std::snprintf(text, sizeof text, "%04X", value);
        return text;
    }

    UdpSocket socket_;
    std::atomic<std::uint16_t> toolPort_{0};
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    mutable std::mutex mutex_;
    std::map<int, std::string> blocks_;
    int expected_ = 0;
    std::chrono::steady_clock::time_point firstQuery_{};
    std::thread thread_;
};

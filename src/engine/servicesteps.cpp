#include "engine/servicesteps.h"

#include "api/endpoints.h"
#include "api/getinfocall.h"
#include "api/toastcall.h"
#include "api/uploadcall.h"
#include "credentials/profile.h"
#include "media/imageprep.h"
#include "media/videoconversion.h"
#include "platform/internet.h"
#include "platform/systemclock.h"
#include "transfer/xferuicaller.h"

#include <filesystem>

namespace quaylet {

namespace {

// The upload's view of the window: progress and status through the window's
// reactions, the status text below 98 % through the rate limiter.
class UploadToWindow final : public IUploadObserver {
public:
    UploadToWindow(const StepContext& ctx, const std::function<void(uint64_t)>& bytes)
        : m_ctx(ctx), m_caller(&ctx.window), m_bytes(bytes)
    {
        m_ctx.statusLimiter.bind(&m_caller);
    }
    ~UploadToWindow() override { m_ctx.statusLimiter.bind(nullptr); }
    UploadToWindow(const UploadToWindow&) = delete;
    UploadToWindow& operator=(const UploadToWindow&) = delete;

    void setProgressMaximum(int maximum) override { m_ctx.window.setProgressMaximum(maximum); }
    void setProgressPosition(int percentage) override { m_ctx.window.setProgressPosition(percentage); }
    void setStatusTextLimited(const std::string& text) override { m_ctx.statusLimiter.call(text); }
    void setStatusText(const std::string& text) override { m_ctx.window.setStatusText(text); }
    bool cancelRequested() const override { return m_ctx.shouldStop(); }
    void setBytesPosted(uint32_t posted, uint32_t) override
    {
        if (m_bytes)
            m_bytes(posted);
    }

private:
    const StepContext& m_ctx;
    CXFerUpdaeUICaller m_caller;
    const std::function<void(uint64_t)>& m_bytes;
};

constexpr auto kConnectionCheckTimeout = std::chrono::milliseconds(5000);

} // namespace

TransferSteps ServiceTransferSteps(const ServiceStepOptions& options)
{
    TransferSteps steps;
    steps.checkConnection = [](const StepContext&) {
        return platform::CheckInternetConnection(SiteAddress(), kConnectionCheckTimeout, nullptr);
    };
    steps.fetchPremium = [](const StepContext&) { return FetchPremiumFlag(CurrentProfile().m_userName) != 0; };
    steps.rotateToUpright = [](const std::string& path, int box) { return RotateToUpright(path, box); };
    steps.makeUploadImage = [](const std::string& path, int box, const std::string& directory) {
        return MakeUploadImage(path, box, box, directory);
    };
    steps.convertVideo = [](const StepContext& ctx, const std::string& path) {
        const ConversionEvents events{ctx.objects.cancel, ctx.objects.acknowledge, &ctx.objects.quit};
        std::string converted = ConvertVideo(path, ctx.shared.premium, events, &ctx.window);
        std::error_code ec;
        return std::filesystem::is_regular_file(converted, ec) ? converted : std::string();
    };
    steps.dateTaken = [](const std::string& path) { return GetDateTaken(path); };
    steps.upload = [uploadBytes = options.uploadBytes](const StepContext& ctx, const UploadRequest& request) {
        UploadToWindow observer(ctx, uploadBytes);
        const CProfile& profile = CurrentProfile();
        return HTTPMethodUpload(observer, request.path, profile.m_userName, profile.m_password, request.type,
                                request.mediaTime);
    };
    if (NotificationPoller* poller = options.poller)
        steps.pollNotifications = [poller](const StepContext&) { poller->poll(); };
    return steps;
}

NotificationPoller::Services ServicePollerServices()
{
    NotificationPoller::Services services;
    services.getToast = [](ToastRecord& record) { return HTTPMethodGetToast(CurrentProfile().m_userName, record); };
    services.download = [](const std::string& address, const std::string& path) {
        return platform::DownloadToFile(address, path, nullptr);
    };
    services.idleMilliseconds = [] { return platform::IdleMilliseconds(); };
    return services;
}

} // namespace quaylet

// A Java Swing window for the accessibility tests: Swing reaches AT-SPI through the ATK bridge.
import java.awt.FlowLayout;
import javax.swing.JButton;
import javax.swing.JCheckBox;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JTextField;
import javax.swing.SwingUtilities;

public class SwingForm {
    public static void main(String[] args) throws Exception {
        SwingUtilities.invokeAndWait(() -> {
            JFrame frame = new JFrame("Swing order form");
            frame.setLayout(new FlowLayout());
            frame.add(new JLabel("Quantity"));
            JTextField quantity = new JTextField(8);
            quantity.getAccessibleContext().setAccessibleName("Quantity");
            frame.add(quantity);
            frame.add(new JCheckBox("Express delivery"));
            frame.add(new JButton("Place order"));
            frame.setSize(420, 160);
            frame.setLocation(Integer.parseInt(args[0]), Integer.parseInt(args[1]));
            frame.setDefaultCloseOperation(JFrame.EXIT_ON_CLOSE);
            frame.setVisible(true);
        });
    }
}
